# Sanitizers apply to the whole build so that every object agrees on the runtime.
if(VI_SANITIZE)
  list(JOIN VI_SANITIZE "," _vi_sanitizers)
  add_compile_options(-fsanitize=${_vi_sanitizers} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_vi_sanitizers})
  message(STATUS "Sanitizers: ${_vi_sanitizers}")
endif()
