# The layering test: builds brox_layer_call_down (a world-layer call into
# its own layer) and brox_layer_call_up (a world-layer call into the
# adjudicator), each linked with the world layer alone.  The first must
# link; the second must fail, for want of brox_adjudicate.
#   cmake -D BUILD_DIR=<build tree> -P check_layer_call.cmake
cmake_minimum_required(VERSION 3.20)
foreach(direction down up)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target brox_layer_call_${direction}
    RESULT_VARIABLE ${direction}_result OUTPUT_VARIABLE ${direction}_output ERROR_VARIABLE ${direction}_output)
endforeach()

if(NOT down_result EQUAL 0)
  message(FATAL_ERROR "A call within the world layer did not link, so the test proves nothing:\n${down_output}")
endif()
if(up_result EQUAL 0)
  message(FATAL_ERROR "A call from the world layer into the adjudicator linked: the layers are not enforced.")
endif()
if(NOT up_output MATCHES "undefined (reference to .|symbol: )brox_adjudicate")
  message(FATAL_ERROR "The upward call failed, but not for want of brox_adjudicate:\n${up_output}")
endif()
string(REGEX MATCH "[^\n]*undefined [^\n]*brox_adjudicate[^\n]*" refusal "${up_output}")
message(STATUS "world -> adjudicator refused: ${refusal}")
