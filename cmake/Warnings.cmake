# One warning policy for every target of ours; third-party headers come in as SYSTEM.
add_library(vi_warnings INTERFACE)
target_compile_options(vi_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor)
if(VI_WERROR)
  target_compile_options(vi_warnings INTERFACE -Werror)
endif()
