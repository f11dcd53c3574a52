# Run by CPack on its staged tree before packing: compresses the manual pages
# (gzip -9n, no name or time stamp, so the package is reproducible).
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_DIRECTORY}/*/share/man/man[1-9]/*.[1-9]")
foreach(page IN LISTS pages)
    execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "could not compress ${page}")
    endif()
endforeach()
