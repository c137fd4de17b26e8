# The product's sources, grouped by layer. Tests link the same library.
set(KORVELIN_CORE_SOURCES
  src/runtime/run_error.cpp
  src/recordio/number_editing.cpp
  src/recordio/value_conversion.cpp
)

set(KORVELIN_PLATFORM_SOURCES
  src/platform/os.cpp
  src/platform/os-posix.cpp
)

# Unit tests live beside the code they test.
set(KORVELIN_TEST_SOURCES
  src/runtime/run_error_test.cpp
  src/recordio/number_editing_test.cpp
  src/recordio/value_conversion_test.cpp
)
