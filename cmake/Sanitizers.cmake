# AddressSanitizer + UndefinedBehaviorSanitizer (LeakSanitizer comes with ASan on Linux).
if(TOVRIN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# ThreadSanitizer (its own preset "tsan"; it cannot be combined with ASan).
option(TOVRIN_TSAN "Build with ThreadSanitizer" OFF)
if(TOVRIN_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# libFuzzer coverage instrumentation for the clang preset "fuzz" (with TOVRIN_SANITIZE);
# the fuzz targets in tests/fuzz add libFuzzer's driver when they link.
option(TOVRIN_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(TOVRIN_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TOVRIN_FUZZ needs clang (cmake --preset fuzz)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
