# slotio_tool(NAME [MRAM] SOURCES...)
# Builds a service tool twice: bin/NAME on the kernel driver and sim/bin/NAME
# on the simulator. MRAM links the library flavour whose Open_SlotAll opens
# the slot devices non-blocking.
function(slotio_tool name)
  cmake_parse_arguments(T "MRAM" "" "" ${ARGN})
  set(lib slotio)
  set(sim_lib slotio_sim)
  if(T_MRAM)
    set(lib slotio_mram)
    set(sim_lib slotio_sim_mram)
  endif()
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${lib})
  add_executable(${name}_sim ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name}_sim PRIVATE ${sim_lib})
  set_target_properties(${name}_sim PROPERTIES OUTPUT_NAME ${name}
                        RUNTIME_OUTPUT_DIRECTORY ${SLOTIO_SIM_BIN_DIR})
endfunction()
