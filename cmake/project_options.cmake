# Warnings and sanitizers, applied per target.
function(tk_target_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow)
  if(TK_SANITIZE)
    target_compile_options(${target} PRIVATE
      -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# tk_add_test(name source... LIBS lib...): one GoogleTest executable run by CTest.
function(tk_add_test name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  tk_target_options(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    TK_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    TK_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "TK_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()
