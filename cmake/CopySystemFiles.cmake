# Brings the build tree's System folder up to the source tree's, without undoing what the user
# did there (velmora-cli language, a saved port, ...).
#
#   cmake -DSOURCE=<System in the source tree> -DTARGET=<bin/System> -DSTAMPS=<folder> -P ...
#
# STAMPS holds, for every file shipped into TARGET, the SHA-256 of the copy shipped last. A
# file is copied when it is missing from TARGET, or when TARGET still holds the copy shipped
# last (the user has not changed it) and the source has changed. A file the user changed is
# left alone; a note names it when the source has a different one.

foreach(variable SOURCE TARGET STAMPS)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "CopySystemFiles.cmake: ${variable} not given")
    endif()
endforeach()

file(GLOB_RECURSE shipped RELATIVE ${SOURCE} ${SOURCE}/*)
foreach(relative IN LISTS shipped)
    set(source ${SOURCE}/${relative})
    set(target ${TARGET}/${relative})
    set(stamp ${STAMPS}/${relative}.sha256)
    file(SHA256 ${source} source_hash)
    set(copy FALSE)
    if(NOT EXISTS ${target})
        set(copy TRUE)
    else()
        file(SHA256 ${target} target_hash)
        set(stamp_hash "")
        if(EXISTS ${stamp})
            file(READ ${stamp} stamp_hash)
            string(STRIP "${stamp_hash}" stamp_hash)
        endif()
        if(target_hash STREQUAL source_hash)
            # Already the shipped file; a missing stamp is made up for.
            if(NOT stamp_hash STREQUAL source_hash)
                file(WRITE ${stamp} "${source_hash}\n")
            endif()
        elseif(target_hash STREQUAL stamp_hash)
            set(copy TRUE)
        else()
            message(STATUS "Kept System/${relative}: changed in the build tree (remove it to "
                           "get the shipped one)")
        endif()
    endif()
    if(copy)
        # Through a temporary file, so the programs never read half a file.
        get_filename_component(target_dir ${target} DIRECTORY)
        file(MAKE_DIRECTORY ${target_dir})
        set(partial ${target}.copying)
        file(COPY_FILE ${source} ${partial})
        file(RENAME ${partial} ${target})
        file(WRITE ${stamp} "${source_hash}\n")
        message(STATUS "Shipped System/${relative}")
    endif()
endforeach()
