# Writes to OUTPUT the date the release carries, in seconds since 1970:
# SOURCE_DATE_EPOCH when it is set, else the time of the last commit of the
# checkout at SOURCE_DIR, else 0. The file is rewritten only when the date
# changes, so that only a new date relinks the program.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -P source_date_epoch.cmake
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(date "$ENV{SOURCE_DATE_EPOCH}")
else()
  execute_process(COMMAND git log -1 --format=%ct
    WORKING_DIRECTORY ${SOURCE_DIR}
    OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0)
    set(date 0)
  endif()
endif()
if(NOT date MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a whole number of seconds, not '${date}'")
endif()
set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL date)
  file(WRITE ${OUTPUT} ${date})
endif()
