# The scenario reader on its own (YAML text in, a scenario or an error out): the stages text and scenario. The
# simulator is built on them, and the fuzz target over the reader builds them without the rest of the simulator.
include_guard(GLOBAL)
include(${CMAKE_CURRENT_LIST_DIR}/stage.cmake)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/text ${CMAKE_BINARY_DIR}/tools/sim/text)
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/scenario ${CMAKE_BINARY_DIR}/tools/sim/scenario)
