# zelm_sim_stage(): the folder of tools/sim that calls it, one stage of a run, as the static library zelm_sim_<folder>.
include_guard(GLOBAL)

# zelm_sim_stage(SOURCES <files...> LINKS <targets...>)
#
# The simulator's sources include its headers by stage: "run/history.h". A stage's include root is a folder of
# the build tree that holds a single entry, a link named after the stage to its folder; the roots of the earlier
# stages come with the stage targets it links, and nothing gives the root of tools/sim itself. So a stage sees
# itself and the stages it links, and an include of any other stage does not compile ("report/report.h: No such
# file or directory"). Each header is also compiled on its own in its stage (zelm_sim_<stage>_headers), so that a
# header which reaches for a later stage fails there even when only later stages include it.
function(zelm_sim_stage)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "" "SOURCES;LINKS")
  get_filename_component(stage ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  set(root ${CMAKE_BINARY_DIR}/sim-stages/${stage})
  set(link ${root}/${stage})
  if(IS_SYMLINK ${link})
    file(READ_SYMLINK ${link} linked)
    if(NOT linked STREQUAL CMAKE_CURRENT_SOURCE_DIR)
      file(REMOVE ${link})
    endif()
  endif()
  if(NOT IS_SYMLINK ${link})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${link} SYMBOLIC)
  endif()

  add_library(zelm_sim_${stage} STATIC ${arg_SOURCES})
  target_include_directories(zelm_sim_${stage} PUBLIC ${root})
  target_link_libraries(zelm_sim_${stage} PUBLIC ${arg_LINKS})
  target_compile_options(zelm_sim_${stage} PRIVATE ${ZELM_WARNINGS} -Wconversion -Wsign-conversion)

  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(checks)
  foreach(header ${headers})
    set(check ${CMAKE_CURRENT_BINARY_DIR}/header_check/${header}.cpp)
    file(CONFIGURE OUTPUT ${check} CONTENT "#include \"${stage}/${header}\"\n")
    list(APPEND checks ${check})
  endforeach()
  add_library(zelm_sim_${stage}_headers OBJECT ${checks})
  target_link_libraries(zelm_sim_${stage}_headers PRIVATE zelm_sim_${stage})
  target_compile_options(zelm_sim_${stage}_headers PRIVATE ${ZELM_WARNINGS} -Wconversion -Wsign-conversion)
endfunction()
