# Run at every build (cmake -P, see CMakeLists.txt): writes the build's
# SOURCE_DATE_EPOCH to STAMP only when it differs from what STAMP holds, so
# what depends on STAMP is built again exactly when the date changes.
set(value "$ENV{SOURCE_DATE_EPOCH}\n")
set(old "")
if(EXISTS "${STAMP}")
  file(READ "${STAMP}" old)
endif()
if(NOT old STREQUAL value)
  file(WRITE "${STAMP}" "${value}")
endif()
