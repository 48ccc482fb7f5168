#!/usr/bin/env python3
"""A sound sink that consumes in real time: reads standard input and sleeps
so that it takes no more than RATE bytes per second (for bench/player_cpu.sh,
behind ALSA's file plugin). Usage: realtime_sink.py RATE"""
import os
import sys
import time

rate = int(sys.argv[1])
start, total = time.monotonic(), 0
while True:
    block = os.read(0, 4096)
    if not block:
        break
    total += len(block)
    ahead = start + total / rate - time.monotonic()
    if ahead > 0:
        time.sleep(ahead)
