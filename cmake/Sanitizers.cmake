if(VESSA_SANITIZERS)
  add_compile_options(-fsanitize=${VESSA_SANITIZERS} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${VESSA_SANITIZERS})
endif()
