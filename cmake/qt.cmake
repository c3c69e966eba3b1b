# A plug-in must use the Qt major version of the OBS Studio that loads it:
# OBS Studio 30 and newer (and upstream 28/29 builds) use Qt 6, while
# Debian 12's OBS Studio 29 is built with Qt 5.15. VANTEO_QT_MAJOR picks it;
# left empty, it follows the installed obs binary, then prefers Qt 6.
set(VANTEO_QT_MAJOR "" CACHE STRING "Qt major version (5 or 6); empty: match the installed OBS Studio")

find_program(VANTEO_OBS_BINARY obs)
if(NOT VANTEO_QT_MAJOR)
	find_program(VANTEO_LDD ldd)
	if(VANTEO_OBS_BINARY AND VANTEO_LDD)
		execute_process(COMMAND ${VANTEO_LDD} ${VANTEO_OBS_BINARY} OUTPUT_VARIABLE _obs_libs
			ERROR_QUIET RESULT_VARIABLE _ldd_result)
		if(_obs_libs MATCHES "libQt6Widgets")
			set(VANTEO_QT_MAJOR 6)
		elseif(_obs_libs MATCHES "libQt5Widgets")
			set(VANTEO_QT_MAJOR 5)
		endif()
	endif()
	if(NOT VANTEO_QT_MAJOR)
		set(VANTEO_QT_MAJOR 6)
	endif()
endif()

find_package(Qt${VANTEO_QT_MAJOR} REQUIRED COMPONENTS Core Gui Widgets)
set(VANTEO_QT_LIBRARIES Qt${VANTEO_QT_MAJOR}::Core Qt${VANTEO_QT_MAJOR}::Gui Qt${VANTEO_QT_MAJOR}::Widgets)
message(STATUS "Vanteo: building against Qt ${VANTEO_QT_MAJOR}")
