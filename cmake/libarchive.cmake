# libarchive for the package zip: the target `wrapper_libarchive`.
#
# Native builds link the system's library (Debian: libarchive-dev). The mingw build compiles the
# same Debian release of libarchive from its source package, which `./dev setup` unpacks into
# build/deps/libarchive, as a static library with zlib (libz-mingw-w64-dev) and nothing else, so
# that wrapper-bundle.exe is one self-contained file. WRAPPER_BUNDLED_LIBARCHIVE does the same for
# a native build (the Linux packer of the kit): that source, static, with the system's static zlib,
# so that the program needs no library beyond the C library.
option(WRAPPER_BUNDLED_LIBARCHIVE "Native build: link libarchive and zlib statically, built from build/deps/libarchive" OFF)
add_library(wrapper_libarchive INTERFACE)
# Set by ./dev (ON or OFF): whether it fetched libarchive's source for this build folder.
set(LIBARCHIVE_SOURCE_SEEN "${WRAPPER_LIBARCHIVE_SOURCE_SEEN}")

if((WIN32 AND NOT MSVC) OR (WRAPPER_BUNDLED_LIBARCHIVE AND NOT WIN32))
    include(ExternalProject)
    # ./dev's trees lie side by side in one build folder, beside deps/.
    set(WRAPPER_LIBARCHIVE_SOURCE_DIR "" CACHE PATH
        "Unpacked libarchive source package (default: deps/libarchive beside this build tree)")
    set(LIBARCHIVE_SOURCE "${WRAPPER_LIBARCHIVE_SOURCE_DIR}")
    if(NOT LIBARCHIVE_SOURCE)
        get_filename_component(LIBARCHIVE_SOURCE "${CMAKE_BINARY_DIR}/../deps/libarchive" ABSOLUTE)
    endif()
    if(NOT EXISTS "${LIBARCHIVE_SOURCE}/libarchive/archive.h")
        if(LIBARCHIVE_SOURCE_SEEN STREQUAL "OFF")
            message(STATUS "libarchive sources not fetched (./dev run does without them): "
                           "wrapper-bundle.exe is not built")
        else()
            message(WARNING "libarchive sources not found in ${LIBARCHIVE_SOURCE} (./dev setup "
                            "puts them there): wrapper-bundle.exe is not built")
        endif()
        set(WRAPPER_NO_PACKAGER ON)
        return()
    endif()
    find_library(STATIC_ZLIB NAMES libz.a REQUIRED)
    find_path(STATIC_ZLIB_INCLUDE zlib.h REQUIRED)
    set(LIBARCHIVE_TOOLCHAIN)
    if(CMAKE_TOOLCHAIN_FILE)
        set(LIBARCHIVE_TOOLCHAIN -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE})
    else()
        set(LIBARCHIVE_TOOLCHAIN -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER})
    endif()
    set(LIBARCHIVE_BUILD "${CMAKE_BINARY_DIR}/deps/libarchive-build")
    # libarchive names its static library libarchive.a on POSIX systems, libarchive_static.a else.
    if(WIN32)
        set(LIBARCHIVE_LIBRARY "${LIBARCHIVE_BUILD}/libarchive/libarchive_static.a")
    else()
        set(LIBARCHIVE_LIBRARY "${LIBARCHIVE_BUILD}/libarchive/libarchive.a")
    endif()
    set(LIBARCHIVE_OFF)
    foreach(feature MBEDTLS NETTLE OPENSSL LIBB2 LZ4 LZO LZMA ZSTD BZip2 LIBXML2 EXPAT PCREPOSIX
                    LIBGCC CNG TAR CPIO CAT XATTR ACL ICONV TEST INSTALL WERROR)
        list(APPEND LIBARCHIVE_OFF -DENABLE_${feature}=OFF)
    endforeach()
    ExternalProject_Add(libarchive_build
        SOURCE_DIR "${LIBARCHIVE_SOURCE}"
        BINARY_DIR "${LIBARCHIVE_BUILD}"
        CMAKE_ARGS
            ${LIBARCHIVE_TOOLCHAIN}
            -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_POSITION_INDEPENDENT_CODE=ON
            "-DCMAKE_C_FLAGS=-ffile-prefix-map=${LIBARCHIVE_SOURCE}=libarchive"
            -DENABLE_ZLIB=ON
            -DZLIB_LIBRARY=${STATIC_ZLIB}
            -DZLIB_INCLUDE_DIR=${STATIC_ZLIB_INCLUDE}
            # A test program that cross-compiling cannot run: Debian's zlib uses the C calling
            # convention, not ZLIB_WINAPI.
            -DZLIB_WINAPI=OFF
            -DZLIB_WINAPI_WITH_LIB=${STATIC_ZLIB}
            -DPOSIX_REGEX_LIB=NONE
            ${LIBARCHIVE_OFF}
        BUILD_COMMAND ${CMAKE_COMMAND} --build . --target archive_static
        INSTALL_COMMAND ""
        BUILD_BYPRODUCTS "${LIBARCHIVE_LIBRARY}"
        EXCLUDE_FROM_ALL TRUE)
    add_dependencies(wrapper_libarchive libarchive_build)
    target_include_directories(wrapper_libarchive SYSTEM INTERFACE "${LIBARCHIVE_SOURCE}/libarchive")
    target_compile_definitions(wrapper_libarchive INTERFACE LIBARCHIVE_STATIC)
    target_link_libraries(wrapper_libarchive INTERFACE "${LIBARCHIVE_LIBRARY}" "${STATIC_ZLIB}")
elseif(MSVC)
    # An installed libarchive (for instance from vcpkg); without one, no wrapper-bundle.
    find_package(LibArchive)
    if(LibArchive_FOUND)
        target_link_libraries(wrapper_libarchive INTERFACE LibArchive::LibArchive)
    else()
        message(STATUS "libarchive not found: wrapper-bundle is not built")
        set(WRAPPER_NO_PACKAGER ON)
    endif()
else()
    find_package(LibArchive REQUIRED)
    target_link_libraries(wrapper_libarchive INTERFACE LibArchive::LibArchive)
endif()
