# Warnings are errors on our own code only (never on system headers). Builds with another
# compiler or sanitizers (fuzzing) may turn the errors off, not the warnings.
option(VOR17000_WERROR "Treat warnings in our own code as errors" ON)
add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  $<$<BOOL:${VOR17000_WERROR}>:-Werror>)
# GCC 12 takes a short literal joined to or assigned to a std::string, once inlined at -O3, for
# an overlapping copy (GCC bug 105329): the warning stays, as a warning.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
   AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(project_warnings INTERFACE -Wno-error=restrict)
endif()
