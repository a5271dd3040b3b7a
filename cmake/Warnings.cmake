# Every target of ours links vessa_warnings; third-party headers come in as system headers.
add_library(vessa_warnings INTERFACE)
target_compile_options(vessa_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference -Wimplicit-fallthrough)
if(VESSA_WARNINGS_AS_ERRORS)
  target_compile_options(vessa_warnings INTERFACE -Werror)
endif()
# GCC 12 at -O3 reports std::string and std::optional code of the standard library as
# overlapping or uninitialised where it is not (GCC bugs 105329 and 105651).
target_compile_options(vessa_warnings INTERFACE
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<CONFIG:Release>>:-Wno-restrict -Wno-maybe-uninitialized>)
