# Debian's SOCI ships neither a CMake config nor a pkg-config file.
# Defines SOCI::core, SOCI::sqlite3 and SOCI::postgresql.
find_path(SOCI_INCLUDE_DIR soci/soci.h)
find_library(SOCI_CORE_LIBRARY soci_core)
find_library(SOCI_SQLITE3_LIBRARY soci_sqlite3)
find_library(SOCI_POSTGRESQL_LIBRARY soci_postgresql)
find_package(SQLite3 REQUIRED)
find_package(Boost REQUIRED)
# The PostgreSQL backend's headers include libpq's.
find_path(SOCI_LIBPQ_INCLUDE_DIR libpq-fe.h PATH_SUFFIXES postgresql)
find_library(SOCI_LIBPQ_LIBRARY pq)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(SOCI REQUIRED_VARS
  SOCI_INCLUDE_DIR SOCI_CORE_LIBRARY SOCI_SQLITE3_LIBRARY SOCI_POSTGRESQL_LIBRARY
  SOCI_LIBPQ_INCLUDE_DIR SOCI_LIBPQ_LIBRARY)

if(SOCI_FOUND AND NOT TARGET SOCI::core)
  add_library(SOCI::core UNKNOWN IMPORTED)
  set_target_properties(SOCI::core PROPERTIES
    IMPORTED_LOCATION "${SOCI_CORE_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${SOCI_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES "Boost::headers;${CMAKE_DL_LIBS}")
  add_library(SOCI::sqlite3 UNKNOWN IMPORTED)
  set_target_properties(SOCI::sqlite3 PROPERTIES
    IMPORTED_LOCATION "${SOCI_SQLITE3_LIBRARY}"
    INTERFACE_LINK_LIBRARIES "SOCI::core;SQLite::SQLite3")
  add_library(SOCI::postgresql UNKNOWN IMPORTED)
  set_target_properties(SOCI::postgresql PROPERTIES
    IMPORTED_LOCATION "${SOCI_POSTGRESQL_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${SOCI_LIBPQ_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES "SOCI::core;${SOCI_LIBPQ_LIBRARY}")
endif()
