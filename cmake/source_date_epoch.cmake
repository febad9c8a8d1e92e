# Writes to OUTPUT the date the release carries, in seconds since 1970:
# SOURCE_DATE_EPOCH when it is set, else the time of the commit the source
# at SOURCE_DIR has checked out, as scripts/source_commit.sh finds it (only a
# checkout of its own: a copy inside another repository must not take that
# one's date). A copy with neither has no date: 0 stands in, and a second
# line says why, for the build record. The file is rewritten only when it
# changes, so that only a new date relinks the program.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -P source_date_epoch.cmake
set(unknown "")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(date "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/source_commit.sh --date ${SOURCE_DIR}
    OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  if(date STREQUAL "")
    set(date 0)
    set(unknown "the source is no git checkout of its own, and SOURCE_DATE_EPOCH was not set")
  endif()
endif()
if(NOT date MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a whole number of seconds, not '${date}'")
endif()
set(text "${date}\n")
if(NOT unknown STREQUAL "")
  string(APPEND text "${unknown}\n")
endif()
set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
