# The firmware image repair.exe carries: checked when the build is
# configured and again whenever it is built, its size and SHA-256 printed and
# handed to the program (the log's first lines name them).
#
# Included: defines FIRMWARE_IMAGE_MAX_BYTES and firmware_image_check().
# As a script, at build time:
#   cmake -DIMAGE=FILE -DHEADER=OUT.h -DTEST_IMAGE=0|1 -P FirmwareImage.cmake
# checks the image and writes OUT.h with REPAIR_FIRMWARE_SIZE,
# REPAIR_FIRMWARE_SHA256 and REPAIR_FIRMWARE_IS_TEST.

# The box receives the image by TFTP in 512-byte blocks numbered from 1 in
# 16 bits. The client sends the low 16 bits of its block counter, so after
# block 65535 it would go on with block 0; RFC 1350 does not say what a
# server makes of that (0 is the number of the write request's ACK), and a
# box that stopped there would be left half written. So the image must end
# within block 65535, and as a length that is a multiple of 512 ends with an
# empty block, that is at most 65535 * 512 - 1 bytes. The client's signed
# 32-bit length (2,147,483,647 bytes) lies far beyond.
set(FIRMWARE_IMAGE_MAX_BYTES 33553919)

# Stops with a clear message unless path is a file the box can take.
function(firmware_image_check path)
  set(what "REPAIR_FIRMWARE_IMAGE: ${path}")
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "${what}: no such file")
  endif()
  if(IS_DIRECTORY "${path}")
    message(FATAL_ERROR "${what}: is a folder, not an image file")
  endif()
  file(SIZE "${path}" size)
  if(size EQUAL 0)
    message(FATAL_ERROR "${what}: the file is empty")
  endif()
  if(size GREATER FIRMWARE_IMAGE_MAX_BYTES)
    message(FATAL_ERROR "${what}: ${size} bytes is more than the box can take by TFTP: at most "
                        "${FIRMWARE_IMAGE_MAX_BYTES} bytes (65535 blocks of 512 bytes, the last one short)")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT IMAGE OR NOT HEADER)
    message(FATAL_ERROR "usage: cmake -DIMAGE=FILE -DHEADER=OUT.h [-DTEST_IMAGE=1] -P ${CMAKE_CURRENT_LIST_FILE}")
  endif()
  firmware_image_check("${IMAGE}")
  file(SIZE "${IMAGE}" size)
  file(SHA256 "${IMAGE}" sha256)
  if(TEST_IMAGE)
    set(is_test 1)
    set(kind "TEST image")
  else()
    set(is_test 0)
    set(kind "image")
  endif()
  message(STATUS "repair.exe embeds the firmware ${kind} ${IMAGE}: ${size} bytes, SHA-256 ${sha256}")
  file(WRITE "${HEADER}"
       "// The embedded firmware image, as cmake/FirmwareImage.cmake found it.\n"
       "#define REPAIR_FIRMWARE_SIZE ${size}u\n"
       "#define REPAIR_FIRMWARE_SHA256 \"${sha256}\"\n"
       "#define REPAIR_FIRMWARE_IS_TEST ${is_test}\n")
endif()
