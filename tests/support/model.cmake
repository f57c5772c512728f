# The reference model, its world and the step runner: they need no test framework, so that the fuzz
# target builds them as well as the tests. Included by tests/ and fuzz/.
include_guard(GLOBAL)
add_library(zelm_model STATIC
  ${CMAKE_CURRENT_LIST_DIR}/lib_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lib_snapshot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lib_step.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lib_world.cpp)
target_include_directories(zelm_model PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(zelm_model PUBLIC zelm zelm_platform)
target_compile_options(zelm_model PRIVATE ${ZELM_WARNINGS})
