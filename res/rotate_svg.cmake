# Writes OUTPUT: the SVG SOURCE with its group id="rotor" turned by ANGLE degrees about the
# centre of the view box. Fails when the group or the view box is missing, so that a frame is
# never silently left unturned.
file(READ ${SOURCE} svg)
string(REGEX MATCH "viewBox=\"0 0 ([0-9]+) ([0-9]+)\"" box "${svg}")
if(NOT box)
  message(FATAL_ERROR "${SOURCE}: no viewBox starting at 0 0")
endif()
math(EXPR cx "${CMAKE_MATCH_1} / 2")
math(EXPR cy "${CMAKE_MATCH_2} / 2")
string(FIND "${svg}" "id=\"rotor\"" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${SOURCE}: no group with id=\"rotor\"")
endif()
string(REPLACE "id=\"rotor\"" "id=\"rotor\" transform=\"rotate(${ANGLE} ${cx} ${cy})\"" svg
               "${svg}")
file(WRITE ${OUTPUT} "${svg}")
