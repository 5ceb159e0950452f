# The test command's second build: clang with AddressSanitizer and UndefinedBehaviorSanitizer,
# every report fatal, plus the libFuzzer targets of tests/fuzz, which only clang can build.
option(TIRVANO_SANITIZE "Build with AddressSanitizer, UndefinedBehaviorSanitizer and the fuzzers (clang)" OFF)

if(TIRVANO_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TIRVANO_SANITIZE needs clang (the fuzzers use libFuzzer): -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Line tables are all that symbolised reports need; -O1 keeps the instrumented code quick to
  # build and run.
  set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O1 -gline-tables-only -DNDEBUG")
  set(TIRVANO_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${TIRVANO_SANITIZER_FLAGS})
  add_link_options(${TIRVANO_SANITIZER_FLAGS})
endif()
