# GoogleTest from Debian's sources, built with the cross compiler.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
add_library(GTest::gtest_main_static INTERFACE IMPORTED)
set_target_properties(GTest::gtest_main_static PROPERTIES INTERFACE_LINK_LIBRARIES "gtest_main;gtest")

# zlib: the static library, so that no zlib1.dll has to travel with the programs.
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

# Crypto++, built by scripts/setup into the build folder.
set(VELMORA_CRYPTOPP_DIR ${CMAKE_BINARY_DIR}/cryptopp CACHE PATH "Crypto++ built with the cross compiler")
if(NOT EXISTS ${VELMORA_CRYPTOPP_DIR}/libcryptopp.a)
    message(FATAL_ERROR "Crypto++ is missing in ${VELMORA_CRYPTOPP_DIR}: run scripts/setup first")
endif()
add_library(cryptopp STATIC IMPORTED GLOBAL)
set_target_properties(cryptopp PROPERTIES
    IMPORTED_LOCATION ${VELMORA_CRYPTOPP_DIR}/libcryptopp.a
    INTERFACE_INCLUDE_DIRECTORIES ${VELMORA_CRYPTOPP_DIR}/include)
