# The platform layer (src/platform): one header per facility, and for each
# facility one implementation file per variant, named by what it is built on
# (https_curl.cpp, websocket_openssl.cpp, sha256_win.cpp). This is the one place
# that chooses the variants; logic files never test the platform themselves.

# Variant files, left out of the core's source glob and added back by choice.
set(VANTEO_PLATFORM_VARIANT_REGEX "src/platform/[a-z0-9_]+_(posix|win|linux|x11|none|curl|beast|openssl|qt|std)\\.cpp$")

# The variant files of the platform being built, as full paths.
function(vanteo_platform_sources var)
	set(files open_url_qt.cpp restart_qt.cpp)
	if(WIN32)
		list(APPEND files file_move_win.cpp foreground_window_win.cpp module_path_win.cpp
			overlay_window_win.cpp restart_win.cpp sha256_win.cpp)
	else()
		list(APPEND files https_curl.cpp websocket_openssl.cpp tcp_posix.cpp files_posix.cpp
			file_move_std.cpp module_path_posix.cpp random_linux.cpp sha256_openssl.cpp
			restart_posix.cpp overlay_window_x11.cpp)
		find_package(X11)
		if(X11_FOUND)
			list(APPEND files foreground_window_x11.cpp)
		else()
			list(APPEND files foreground_window_none.cpp)
		endif()
	endif()
	list(TRANSFORM files PREPEND ${PROJECT_SOURCE_DIR}/src/platform/)
	set(${var} ${files} PARENT_SCOPE)
endfunction()

function(vanteo_link_platform target)
	if(NOT WIN32)
		find_package(CURL REQUIRED)
		find_package(OpenSSL REQUIRED)
		find_package(ZLIB REQUIRED)
		find_package(Boost 1.74 REQUIRED)
		find_package(X11)
		# libdeflate inflates whole TikTok payloads; Debian's 1.14 has no CMake
		# package, only a pkg-config file.
		find_package(PkgConfig REQUIRED)
		pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)
		target_link_libraries(${target} PUBLIC CURL::libcurl OpenSSL::SSL OpenSSL::Crypto ZLIB::ZLIB
			PkgConfig::LIBDEFLATE Boost::boost)
		if(X11_FOUND)
			target_link_libraries(${target} PUBLIC X11::X11)
			target_compile_definitions(${target} PUBLIC VANTEO_HAVE_X11=1)
		endif()
	endif()
endfunction()
