# Every target of ours links vessa_warnings; third-party headers come in as system headers.
add_library(vessa_warnings INTERFACE)
target_compile_options(vessa_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference -Wimplicit-fallthrough)
if(VESSA_WARNINGS_AS_ERRORS)
  target_compile_options(vessa_warnings INTERFACE -Werror)
endif()
