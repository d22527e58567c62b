# Lays out the sample install package (run by the build with cmake -P).
# In: PACKAGE_DIR, DATA_DIR, INSTALLER, RUNTIME_FILES, VENDOR_FILES (";"-separated lists passed
# with "|" as separator), ACME_INI, NIMBREL_INI.
string(REPLACE "|" ";" RUNTIME_FILES "${RUNTIME_FILES}")
string(REPLACE "|" ";" VENDOR_FILES "${VENDOR_FILES}")

# A fresh tree each build: a file dropped from the package must not linger in it.
file(REMOVE_RECURSE "${PACKAGE_DIR}")
file(MAKE_DIRECTORY "${PACKAGE_DIR}")
file(COPY "${INSTALLER}" DESTINATION "${PACKAGE_DIR}")

foreach(edition Private NimbrelUpdate)
  set(root "${PACKAGE_DIR}/${edition}")
  file(MAKE_DIRECTORY "${root}/Runtime/ProgFiles" "${root}/Vendor/ProgFiles")
  file(COPY ${RUNTIME_FILES} "${DATA_DIR}/NimbrelPhotosDeviceConnect.ico"
       DESTINATION "${root}/Runtime/ProgFiles")
  file(COPY ${VENDOR_FILES} DESTINATION "${root}/Vendor/ProgFiles")
  file(COPY_FILE "${INSTALLER}" "${root}/Vendor/ProgFiles/Uninstaller.exe")
  if(edition STREQUAL "Private")
    file(COPY_FILE "${ACME_INI}" "${root}/Vendor/ProgFiles/TollixSystemInfo.ini")
  else()
    file(COPY_FILE "${NIMBREL_INI}" "${root}/Vendor/ProgFiles/TollixSystemInfo.ini")
  endif()
  file(COPY "${DATA_DIR}/Runtime/AllUsersData" DESTINATION "${root}/Runtime")
  file(COPY "${DATA_DIR}/Vendor/AllUsersData" DESTINATION "${root}/Vendor")
  file(COPY "${DATA_DIR}/Snapora/AllUsersData" DESTINATION "${root}/Snapora")
endforeach()
