# The fakes' sources, listed once for the host tests and the fuzz targets.
set(QUILLON_FAKE_SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/FakeNumbers.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FakeOsVersion.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FakeRegistry.cpp)
