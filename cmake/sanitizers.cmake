# Sanitizer builds: set VONDREL_SANITIZE to "address,undefined" or "thread".
# Pulled in after project() through CMAKE_PROJECT_INCLUDE by the asan and tsan presets.
set(VONDREL_SANITIZE "" CACHE STRING "sanitizers to build with (address,undefined | thread)")
if(VONDREL_SANITIZE)
  # every finding ends the run; frame pointers keep the stacks whole
  set(_vondrel_san -fsanitize=${VONDREL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${_vondrel_san})
  add_link_options(${_vondrel_san})
  unset(_vondrel_san)
  # light optimisation and line tables build fast and keep file:line in the
  # reports; asserts stay on
  set(CMAKE_C_FLAGS_RELWITHDEBINFO "-O1 -g1")
  set(CMAKE_CXX_FLAGS_RELWITHDEBINFO "-O1 -g1")
endif()
