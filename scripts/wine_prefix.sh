# Sourced by the scripts that run Wine (scripts/run, scripts/test and the
# checks under tests/wine/): every private prefix is a copy of one template,
# so that wineboot runs once per clone, not once per check.

# wine_template: the template prefix build/wine/template ($VORLO_WINE_TEMPLATE),
# made once by wineboot; checks that run at the same time wait for the one
# that makes it. wine_prefix_from_template copies it to $WINEPREFIX unless
# that prefix is already there (a second run reuses it).
wine_template() {
    local t=${VORLO_WINE_TEMPLATE:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine/template}
    mkdir -p "$(dirname "$t")"
    (
        flock 9
        if [ ! -f "$t/prefix/system.reg" ]; then
            rm -rf "$t"
            mkdir -p "$t/home"
            WINEPREFIX=$t/prefix HOME=$t/home timeout 300 wineboot -i >/dev/null 2>&1
            WINEPREFIX=$t/prefix HOME=$t/home timeout 60 wineserver -w
        fi
    ) 9>"$t.lock"
    template=$t/prefix
    [ -f "$template/system.reg" ]
}
wine_prefix_from_template() {
    [ -f "$WINEPREFIX/system.reg" ] && return 0
    wine_template || return 1
    rm -rf "$WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    cp -a "$template" "$WINEPREFIX.tmp" && mv "$WINEPREFIX.tmp" "$WINEPREFIX"
}
