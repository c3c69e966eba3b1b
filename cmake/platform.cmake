# Chooses the platform implementation files: "*_posix.cpp" on Linux and macOS,
# "*_win.cpp" on Windows. Logic files never test the platform themselves.
function(vanteo_filter_platform_sources var)
	set(files ${${var}})
	if(WIN32)
		list(FILTER files EXCLUDE REGEX "_posix\\.cpp$")
	else()
		list(FILTER files EXCLUDE REGEX "_win\\.cpp$")
	endif()
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
