# The scenario reader on its own (YAML text in, a scenario or an error out): the simulator is built on it,
# and the fuzz target over it builds it without the rest of the simulator.
include_guard(GLOBAL)
find_package(yaml-cpp REQUIRED)
add_library(zelm_sim_scenario STATIC
  ${CMAKE_CURRENT_LIST_DIR}/budget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/printable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scenario_atoms.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scenario_basics.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scenario_builtin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scenario_explore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scenario_fields.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scenario_generate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scenario_load.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scenario_parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/yaml_document.cpp
  ${CMAKE_CURRENT_LIST_DIR}/yaml_read.cpp)
target_include_directories(zelm_sim_scenario PUBLIC ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(zelm_sim_scenario PUBLIC yaml-cpp)
target_compile_options(zelm_sim_scenario PRIVATE ${ZELM_WARNINGS} -Wconversion -Wsign-conversion)
