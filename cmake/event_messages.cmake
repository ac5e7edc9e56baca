# The event log's message file (Windows build): a DLL that holds only a message table, with one
# message for each event ID the installer writes. Event Viewer and Get-WinEvent read an event's
# text from it, so the installer keeps a copy outside the Kitbox (see
# src/platform/event_log_win32.cpp); its bytes are compiled into the program.
#
# The event IDs: the exit code for the end of a run, 10000 + the exit code for the end of a
# scan, 9000 for the start of a flash, 9999 and 19999 for an exit code outside the table. The
# exit codes are 0, 1, 100, 4000, 4001 and the number of every code in the error catalogue,
# read from its source, so that a new code has its message as soon as it is catalogued.

set(MEFW_CATALOGUE_SOURCE ${PROJECT_SOURCE_DIR}/src/app/error_catalogue.cpp)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${MEFW_CATALOGUE_SOURCE})
file(STRINGS ${MEFW_CATALOGUE_SOURCE} MEFW_CATALOGUE_LINES REGEX "{\"[0-9][0-9][0-9][0-9][a-z]\"")
set(MEFW_EXIT_CODES 0 1 100 4000 4001)
foreach(line ${MEFW_CATALOGUE_LINES})
  string(REGEX MATCH "{\"([0-9][0-9][0-9][0-9])[a-z]\"" match "${line}")
  math(EXPR code "${CMAKE_MATCH_1}")
  list(APPEND MEFW_EXIT_CODES ${code})
endforeach()
list(REMOVE_DUPLICATES MEFW_EXIT_CODES)
list(SORT MEFW_EXIT_CODES COMPARE NATURAL)

# %0 ends a message without a line break of its own; %n is a line break.
set(MEFW_RUN_END_TEXT
  "%1%n%nExit code: %2%nMode: %7%nInstalled firmware: %3%nKitbox firmware: %4%nKitbox: %5%nRecord: %6%0")
set(MEFW_FLASH_START_TEXT
  "The firmware flash started: %1 to %2. Do not shut down or restart the computer until it has ended.%n%nKitbox: %3%nRecord: %4%0")

set(MEFW_EVENTS_DIR ${CMAKE_BINARY_DIR}/generated/events)
set(mc "LanguageNames=(English=0x409:MSG00409)\n")
function(mefw_add_message id text)
  set(mc "${mc}\nMessageId=${id}\nLanguage=English\n${text}\n.\n" PARENT_SCOPE)
endfunction()
foreach(code ${MEFW_EXIT_CODES} 9999)
  mefw_add_message(${code} "${MEFW_RUN_END_TEXT}")
endforeach()
mefw_add_message(9000 "${MEFW_FLASH_START_TEXT}")
foreach(code ${MEFW_EXIT_CODES} 9999)
  math(EXPR scan "10000 + ${code}")
  mefw_add_message(${scan} "${MEFW_RUN_END_TEXT}")
endforeach()
file(CONFIGURE OUTPUT ${MEFW_EVENTS_DIR}/event_messages.mc CONTENT "${mc}" @ONLY)

find_program(MEFW_WINDMC x86_64-w64-mingw32-windmc REQUIRED)
set(MEFW_EVENT_MESSAGE_FILE ${MEFW_EVENTS_DIR}/mefwupdate-messages.dll)
add_custom_command(
  OUTPUT ${MEFW_EVENT_MESSAGE_FILE}
  COMMAND ${MEFW_WINDMC} -h ${MEFW_EVENTS_DIR} -r ${MEFW_EVENTS_DIR}
    ${MEFW_EVENTS_DIR}/event_messages.mc
  COMMAND ${CMAKE_RC_COMPILER} ${MEFW_EVENTS_DIR}/event_messages.rc -O coff
    -o ${MEFW_EVENTS_DIR}/event_messages.res.o
  # Resources only: no code, no entry point, and no time stamp, so the same table gives the
  # same bytes and an unchanged file is never written again.
  COMMAND ${CMAKE_C_COMPILER} -shared -nostdlib -s -Wl,-e,0 -Wl,--no-insert-timestamp
    -o ${MEFW_EVENT_MESSAGE_FILE} ${MEFW_EVENTS_DIR}/event_messages.res.o
  DEPENDS ${MEFW_EVENTS_DIR}/event_messages.mc
  WORKING_DIRECTORY ${MEFW_EVENTS_DIR}
  VERBATIM)
add_custom_command(
  OUTPUT ${MEFW_EVENTS_DIR}/event_message_file.cpp
  COMMAND ${CMAKE_COMMAND} -DINPUT=${MEFW_EVENT_MESSAGE_FILE}
    -DOUTPUT=${MEFW_EVENTS_DIR}/event_message_file.cpp
    -P ${PROJECT_SOURCE_DIR}/cmake/embed_message_file.cmake
  DEPENDS ${MEFW_EVENT_MESSAGE_FILE} ${PROJECT_SOURCE_DIR}/cmake/embed_message_file.cmake
  VERBATIM)
