# cmake -DSRC=file -DDST=folder -P copy-if-exists.cmake
if(EXISTS "${SRC}")
  file(COPY "${SRC}" DESTINATION "${DST}")
endif()
