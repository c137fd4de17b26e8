# The product's sources, grouped by layer. Tests link the same library.
set(KORVELIN_CORE_SOURCES
  src/runtime/run_error.cpp
  src/runtime/run_lifecycle.cpp
  src/runtime/console_pause.cpp
  src/recordio/units.cpp
  src/recordio/file_names.cpp
  src/recordio/console.cpp
  src/recordio/free_form_reader.cpp
  src/recordio/value_conversion.cpp
  src/recordio/number_editing.cpp
  src/recordio/record_writer.cpp
  src/entropy/isotherm_reader.cpp
  src/entropy/branch.cpp
  src/entropy/integration.cpp
  src/entropy/progress_log.cpp
  src/entropy/result_table.cpp
  src/entropy/driver.cpp
)

# The operating-system seam: the shared part, then one variant per system.
set(KORVELIN_PLATFORM_SOURCES
  src/platform/os.cpp
  src/platform/command_line.cpp
)
if(WIN32)
  list(APPEND KORVELIN_PLATFORM_SOURCES src/platform/os-win32.cpp)
else()
  list(APPEND KORVELIN_PLATFORM_SOURCES src/platform/os-posix.cpp)
endif()

# Unit tests live beside the code they test.
set(KORVELIN_TEST_SOURCES
  src/entropy/isotherm_reader_test.cpp
  src/entropy/integration_test.cpp
  src/runtime/run_error_test.cpp
  src/recordio/number_editing_test.cpp
  src/recordio/value_conversion_test.cpp
  src/recordio/free_form_reader_test.cpp
  src/recordio/units_test.cpp
  src/recordio/record_writer_test.cpp
  tests/fault_injection_test.cpp
  tests/allocation_test.cpp
)

# The seam's own tests run against the variant of the system they are built
# for; the device test covers what the record layer does with the seam's
# devices.
list(APPEND KORVELIN_TEST_SOURCES
  src/platform/command_line_test.cpp
  src/platform/os_test.cpp
  src/recordio/units_device_test.cpp
)
