# The include arrows between the top folders, checked on every build:
#   cmake -DROOT=<source dir> -P cmake/check_layers.cmake
# Each folder may include its own headers and those of the folders listed
# for it; anything else (a core file including a shell header, say) stops
# the build with the file, the line and the arrow.
# From the bottom up: platform, settings, output (drivers, HTTP stream,
# radio), decoder (which drives the output), tag (which asks the decoder
# where a stream's tags lie), playlist, shell. skin (the image and archive
# readers of user skins) stands on platform alone.
set(allowed_platform)
set(allowed_settings platform)
set(allowed_skin platform)
set(allowed_output platform settings)
set(allowed_decoder platform settings output)
set(allowed_tag platform settings output decoder)
set(allowed_playlist platform settings output decoder tag)
set(allowed_shell platform settings output decoder tag playlist skin resources)

set(folders platform settings skin tag decoder output playlist shell)
set(known ${folders} resources tools tests)
set(faults "")
foreach(folder ${folders})
  file(GLOB_RECURSE sources "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.h")
  foreach(source ${sources})
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]+\"[A-Za-z0-9_]+/")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([A-Za-z0-9_]+)/.*" "\\1" target "${line}")
      if(target STREQUAL folder)
        continue()
      endif()
      list(FIND known ${target} is_known)
      list(FIND allowed_${folder} ${target} is_allowed)
      if(is_known GREATER -1 AND is_allowed EQUAL -1)
        file(RELATIVE_PATH rel "${ROOT}" "${source}")
        string(APPEND faults "  ${rel}: ${folder}/ may not include ${target}/ (${line})\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "Include arrows that point the wrong way:\n${faults}")
endif()
