# With VEMRA_SANITIZE every target is built and linked with ASan + UBSan, and
# undefined behaviour aborts instead of printing and going on.
if(VEMRA_SANITIZE)
  set(_vemra_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_vemra_san})
  add_link_options(${_vemra_san})
endif()
