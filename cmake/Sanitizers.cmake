# With VEMRA_SANITIZE every target is built and linked with ASan + UBSan, and
# undefined behaviour aborts instead of printing and going on. VEMRA_SANITIZE=thread builds with
# ThreadSanitizer instead. VEMRA_SANITIZER_OPTIONS names the environment variable of the
# sanitizer's options, for tests that start programs with limits of their own.
if(VEMRA_SANITIZE STREQUAL "thread")
  set(_vemra_san -fsanitize=thread -fno-omit-frame-pointer)
  add_compile_definitions(VEMRA_SANITIZER_OPTIONS="TSAN_OPTIONS")
elseif(VEMRA_SANITIZE)
  set(_vemra_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_definitions(VEMRA_SANITIZER_OPTIONS="ASAN_OPTIONS")
endif()
if(_vemra_san)
  add_compile_options(${_vemra_san})
  add_link_options(${_vemra_san})
endif()
