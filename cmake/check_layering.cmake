# Fails when a layer includes what it must not. The build runs it (see
# cmake/layering.cmake); by hand:
#   cmake -DVOSTREL_ROOT=<source folder> -P cmake/check_layering.cmake
#
#   engine/             engine/ headers and the C++ standard library only:
#                       no other layer, no OS header (windows.h, unistd.h,
#                       sys/..., fcntl.h, dirent.h, ...)
#   platform/           no front end (cli/, ui/, framework/); posix/ and
#                       win32/ never include each other
#   cli/                of the platform only its interface (platform/*.h); no
#                       ui/, framework/
#   ui/, framework/     no cli/; of the platform only its interface
#
# The headers of platform/posix and platform/win32 are private to their
# layer besides: each refuses, with #error, a file built outside it.
if(NOT VOSTREL_ROOT)
  message(FATAL_ERROR "give -DVOSTREL_ROOT=<source folder>")
endif()

set(violations "")

# Adds a violation for every include of a file in `layer` (a folder below the
# root) whose text, <name> or "name", matches `pattern` (NEVER) or does not
# (ONLY).
function(rule layer mode pattern why)
  file(GLOB_RECURSE files ${VOSTREL_ROOT}/${layer}/*.h ${VOSTREL_ROOT}/${layer}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS includes)
      string(REGEX MATCH "[<\"][^>\"]+[>\"]" included "${line}")
      set(matches FALSE)
      if(included MATCHES "${pattern}")
        set(matches TRUE)
      endif()
      if((mode STREQUAL "NEVER" AND matches) OR (mode STREQUAL "ONLY" AND NOT matches))
        file(RELATIVE_PATH shown ${VOSTREL_ROOT} ${file})
        list(APPEND violations "${shown}: #include ${included}: ${why}")
      endif()
    endforeach()
  endforeach()
  set(violations "${violations}" PARENT_SCOPE)
endfunction()

rule(engine ONLY "^(\"engine/|<[a-z_0-9]+>$)"
     "the engine includes only its own headers and the C++ standard library")
rule(platform NEVER "^\"(cli|ui|framework)/" "the platform knows no front end")
rule(platform/posix NEVER "^\"platform/win32/" "the POSIX layer does not include the Win32 one")
rule(platform/win32 NEVER "^\"platform/posix/" "the Win32 layer does not include the POSIX one")
rule(cli NEVER "^\"(ui|framework)/" "the command line knows no desktop tool")
rule(cli NEVER "^\"platform/[^\"]*/" "the command line uses the platform through platform/*.h only")
rule(ui NEVER "^\"cli/" "the desktop tool does not include the command line")
rule(ui NEVER "^\"platform/[^\"]*/" "the desktop tool uses the platform through platform/*.h only")
rule(framework NEVER "^\"cli/" "the framework does not include the command line")
rule(framework NEVER "^\"platform/[^\"]*/"
     "the framework uses the platform through platform/*.h only")

if(violations)
  list(JOIN violations "\n  " shown)
  message(FATAL_ERROR "layering: includes across layers the wrong way:\n  ${shown}")
endif()
