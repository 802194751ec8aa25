# docksim replay as a user runs it, on roads dockhost records: the Dravo
# image comes out whole, a base without its camera says what never came, and
# the exit status tells a bad command line from an unreadable recording.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run expected_rc)
  execute_process(COMMAND ${EMULATOR} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL expected_rc)
    message(FATAL_ERROR "${ARGN}: exit ${rc}, expected ${expected_rc}:\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(expect text)
  string(FIND "${out}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no '${text}' in:\n${out}")
  endif()
endfunction()

run(0 ${DOCKHOST} road --dock Dravo --chip lan7850 --simulate --record ${WORK_DIR}/dravo.jsonl)
run(0 ${DOCKSIM} replay ${WORK_DIR}/dravo.jsonl --image-out ${WORK_DIR}/dravo.bin)
expect("dockhost road --replay FILE")
file(SIZE ${WORK_DIR}/dravo.bin size)
if(NOT size EQUAL 512)
  message(FATAL_ERROR "the Dravo image has ${size} bytes")
endif()

run(0 ${DOCKHOST} road --dock Velta --simulate --record ${WORK_DIR}/velta.jsonl)
run(1 ${DOCKSIM} replay ${WORK_DIR}/velta.jsonl --listen 127.0.0.1:0 --camera 127.0.0.1:1 --seconds 0.5)
expect("the camera did not send")
expect("first difference: ")

run(3 ${DOCKSIM} replay ${WORK_DIR}/missing.jsonl)
run(2 ${DOCKSIM} replay ${WORK_DIR}/velta.jsonl --discovery-port 0)
