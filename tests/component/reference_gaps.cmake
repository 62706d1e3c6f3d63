# The reference generator refuses an IDL in which a member lacks its helpstring, its
# failures or its example, or gives a failure outside the format, and names the member.
# cmake -DPYTHON=python3 -DGENERATOR=reference.py -DIDL=file.idl -DWORK=folder -P reference_gaps.cmake
cmake_minimum_required(VERSION 3.20)  # the table holds empty elements
file(READ ${IDL} idl)
# Triples: what is taken out of the IDL, what replaces it, and the member the refusal names.
set(gaps
  "    // example: result = session.Connect[^\n]*\n" "" "_t2mrapp.Connect"
  "    // fails: False\n" "" "_t2mrapp.CreateAGroup"
  "    // fails: \"AddUserPreferenceError[^\n]*\n" "" "_t2mrapp.AddUserPreference"
  ", helpstring\\(\"Returns the host name[^\"]*\"\\)" "" "_t2mrapp.VANT_GetHostname"
  ", helpstring\\(\"The Boolean value[^\"]*\"\\)" "" "_t2DataClass.BooleanValue"
  "\"Unable to login \" name" "\"Unable to login \" user" "_t2mrapp.Login")
list(LENGTH gaps count)
math(EXPR last "${count} - 3")
foreach(i RANGE 0 ${last} 3)
  math(EXPR k "${i} + 1")
  math(EXPR j "${i} + 2")
  list(GET gaps ${i} pattern)
  list(GET gaps ${k} replacement)
  list(GET gaps ${j} member)
  string(REGEX REPLACE "${pattern}" "${replacement}" broken "${idl}")
  if(broken STREQUAL idl)
    message(FATAL_ERROR "the IDL holds nothing like ${pattern}")
  endif()
  file(WRITE ${WORK}/gap.idl "${broken}")
  execute_process(COMMAND ${PYTHON} ${GENERATOR} --idl ${WORK}/gap.idl
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE refusal)
  if(status EQUAL 0 OR NOT refusal MATCHES "${member}")
    message(FATAL_ERROR "the generator took an IDL that breaks ${member} (status ${status}):\n${refusal}")
  endif()
endforeach()
