# Run by ctest (Dist.VersionAgreesWithProject): everything that shows the
# version shows project()'s.
#   cmake -DVERSION=X.Y -DCHANGELOG=FILE -DMAN_PAGES=a.1|b.1 -DPROGRAMS=p|q -P check-version.cmake
set(failures)

# The newest changelog entry names the version the package is built with.
file(STRINGS ${CHANGELOG} first LIMIT_COUNT 1)
string(REGEX MATCH "^tunedesk \\(([^)]*)\\)" found "${first}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  list(APPEND failures "${CHANGELOG}: newest entry '${first}' is not version ${VERSION}")
endif()

string(REPLACE "|" ";" pages "${MAN_PAGES}")
if(NOT pages)
  list(APPEND failures "no manual pages given")
endif()
foreach(page IN LISTS pages)
  file(STRINGS ${page} th REGEX "^\\.TH " LIMIT_COUNT 1)
  if(NOT th MATCHES " ${VERSION}\" \"User Commands\"$")
    list(APPEND failures "${page}: '${th}' does not name version ${VERSION}")
  endif()
endforeach()

# "<program> <version>" and nothing else on --version.
string(REPLACE "|" ";" programs "${PROGRAMS}")
if(NOT programs)
  list(APPEND failures "no programs given")
endif()
foreach(program IN LISTS programs)
  get_filename_component(name ${program} NAME)
  execute_process(COMMAND ${program} --version OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "${name} ${VERSION}\n")
    list(APPEND failures "${name} --version printed '${out}' (exit ${rc}), not '${name} ${VERSION}'")
  endif()
endforeach()

if(failures)
  list(JOIN failures "\n" text)
  message(FATAL_ERROR "${text}")
endif()
message(STATUS "version ${VERSION}: changelog, manual pages and programs agree")
