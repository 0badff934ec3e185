# Writes ${PROJECT_BINARY_DIR}/generated/BuildInfo.h (version, git commit,
# donate address) and puts its folder on every target's include path.
# The commit is read once per configure; configure_file rewrites the header
# only when its text changes, so an unchanged commit rebuilds nothing.

set(TAVRELK_COMMIT "")
if(EXISTS ${PROJECT_SOURCE_DIR}/.git)
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE TAVRELK_COMMIT
                    OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_QUIET
                    RESULT_VARIABLE git_result)
    if(NOT git_result EQUAL 0)
      set(TAVRELK_COMMIT "")
    endif()
  endif()
endif()

set(TAVRELK_VERSION_TEXT ${PROJECT_VERSION})
if(TAVRELK_COMMIT)
  string(APPEND TAVRELK_VERSION_TEXT " (git ${TAVRELK_COMMIT})")
endif()

# The address goes into a C string literal.
string(REPLACE "\\" "\\\\" TAVRELK_DONATE_URL_ESCAPED "${TAVRELK_DONATE_URL}")
string(REPLACE "\"" "\\\"" TAVRELK_DONATE_URL_ESCAPED "${TAVRELK_DONATE_URL_ESCAPED}")
string(REPLACE "\\" "\\\\" TAVRELK_PROJECT_URL_ESCAPED "${TAVRELK_PROJECT_URL}")
string(REPLACE "\"" "\\\"" TAVRELK_PROJECT_URL_ESCAPED "${TAVRELK_PROJECT_URL_ESCAPED}")

configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildInfo.h.in ${PROJECT_BINARY_DIR}/generated/BuildInfo.h @ONLY)
include_directories(${PROJECT_BINARY_DIR}/generated)
