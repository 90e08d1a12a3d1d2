# Warnings are errors on our own code only (never on system headers). Builds with another
# compiler or sanitizers (fuzzing) may turn the errors off, not the warnings.
option(VOR17000_WERROR "Treat warnings in our own code as errors" ON)
add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
  $<$<BOOL:${VOR17000_WERROR}>:-Werror>)
