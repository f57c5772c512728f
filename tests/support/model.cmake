# The reference model, its world and the step runner, and the text-copy shim: they need no test
# framework, so that the fuzz targets build them as well as the tests. Included by tests/ and fuzz/.
include_guard(GLOBAL)
# Linked into an executable, its strdup, strndup and free take the C library's place for the whole
# process, so that the library's text copies can fail and are counted (support/text_copies.h).
add_library(zelm_text_shim OBJECT ${CMAKE_CURRENT_LIST_DIR}/text_copies.cpp)
target_include_directories(zelm_text_shim PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(zelm_text_shim PUBLIC zelm_platform)
target_compile_options(zelm_text_shim PRIVATE ${ZELM_WARNINGS})
add_library(zelm_model STATIC
  ${CMAKE_CURRENT_LIST_DIR}/avl3_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lib_model.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lib_snapshot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lib_step.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lib_world.cpp)
target_include_directories(zelm_model PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(zelm_model PUBLIC zelm zelm_platform)
target_compile_options(zelm_model PRIVATE ${ZELM_WARNINGS})
