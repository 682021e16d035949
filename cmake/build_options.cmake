# How Vostrel's own targets are compiled and linked, as INTERFACE targets
# each of them links (PRIVATE): third-party code built here (googletest in
# the cross build) takes none of it, so it never fails on our -Werror.
add_library(vostrel_warnings INTERFACE)
target_compile_options(vostrel_warnings INTERFACE -Wall -Wextra
                                                  $<$<BOOL:${VOSTREL_WERROR}>:-Werror>)

add_library(vostrel_sanitizers INTERFACE)
if(VOSTREL_SANITIZE)
  target_compile_options(vostrel_sanitizers INTERFACE -fsanitize=address,undefined
                         -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(vostrel_sanitizers INTERFACE -fsanitize=address,undefined)
elseif(VOSTREL_TSAN)
  # The copies made ahead on worker threads (tests/platform/copies_ahead_test).
  target_compile_options(vostrel_sanitizers INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(vostrel_sanitizers INTERFACE -fsanitize=thread)
endif()

add_library(vostrel_windows INTERFACE)
if(WIN32)
  # Windows tools ship as single executables: no runtime DLL beside them.
  target_link_options(vostrel_windows INTERFACE -static -static-libgcc -static-libstdc++)
  target_compile_definitions(vostrel_windows INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX
                                                       _WIN32_WINNT=0x0501)
endif()

add_library(vostrel_build_options INTERFACE)
target_link_libraries(vostrel_build_options INTERFACE vostrel_warnings vostrel_sanitizers
                                                      vostrel_windows)
