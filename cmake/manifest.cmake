# Writes the release manifest that the updater reads, for the plug-in folder
# a release installs:
#
#   cmake -DPLUGIN_DIR=<folder> -DVERSION=<x.y.z> -DNOTES=<notes.json> \
#         -DOUTPUT=<manifest.json> -P cmake/manifest.cmake
#
# {"version":…,"files":[{"path":…,"sha256":…},…],"notes":[{"version":…,"text":…},…]}
# Paths are relative to the plug-in folder with forward slashes, in sorted
# order; the notes come from NOTES, a JSON array of such objects.
cmake_minimum_required(VERSION 3.19)

foreach(var PLUGIN_DIR VERSION NOTES OUTPUT)
	if(NOT DEFINED ${var})
		message(FATAL_ERROR "manifest.cmake needs -D${var}=…")
	endif()
endforeach()

# What the updater accepts: a path it may write (letters, digits, "-", ".",
# "/", "_", no "..") and a file its download limit of 16 MiB can carry.
set(max_size 16777216)

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${PLUGIN_DIR}" "${PLUGIN_DIR}/*")
list(SORT files)
if(NOT files)
	message(FATAL_ERROR "no files in ${PLUGIN_DIR}")
endif()

set(entries "[]")
set(index 0)
foreach(path IN LISTS files)
	if(NOT path MATCHES "^[A-Za-z0-9._/-]+$" OR path MATCHES "\\.\\.")
		message(FATAL_ERROR "${path}: the updater refuses this file name")
	endif()
	file(SIZE "${PLUGIN_DIR}/${path}" size)
	if(size GREATER max_size)
		message(FATAL_ERROR "${path}: ${size} bytes, over the updater's download limit of ${max_size}")
	endif()
	file(SHA256 "${PLUGIN_DIR}/${path}" digest)
	string(JSON entries SET "${entries}" ${index} "{}")
	string(JSON entries SET "${entries}" ${index} path "\"${path}\"")
	string(JSON entries SET "${entries}" ${index} sha256 "\"${digest}\"")
	math(EXPR index "${index} + 1")
endforeach()

file(READ "${NOTES}" notes)
string(JSON notes_type ERROR_VARIABLE notes_error TYPE "${notes}")
if(notes_error OR NOT notes_type STREQUAL "ARRAY")
	message(FATAL_ERROR "${NOTES}: not a JSON array of notes")
endif()
string(JSON note_count LENGTH "${notes}")
set(has_version FALSE)
if(note_count GREATER 0)
	math(EXPR last "${note_count} - 1")
	foreach(i RANGE ${last})
		string(JSON note_version GET "${notes}" ${i} version)
		string(JSON note_text GET "${notes}" ${i} text)
		if(note_version STREQUAL VERSION)
			set(has_version TRUE)
		endif()
	endforeach()
endif()
if(NOT has_version)
	message(WARNING "${NOTES} has no note for ${VERSION}: users see no release notes for it")
endif()

set(manifest "{}")
string(JSON manifest SET "${manifest}" version "\"${VERSION}\"")
string(JSON manifest SET "${manifest}" files "${entries}")
string(JSON manifest SET "${manifest}" notes "${notes}")
file(WRITE "${OUTPUT}" "${manifest}\n")
message(STATUS "manifest: ${index} files, version ${VERSION}")
