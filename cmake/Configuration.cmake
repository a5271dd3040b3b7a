# Endpoints, identifiers and tokens are fixed at build time. The defaults point every service at
# the local backend on 127.0.0.1; production builds set these cache variables to the real hosts.
set(VESSA_LOCAL_BACKEND "http://127.0.0.1:8787")

set(VESSA_API_BASE "${VESSA_LOCAL_BACKEND}" CACHE STRING "Backend API base (chat stream, prompts)")
set(VESSA_WEB_BASE "${VESSA_LOCAL_BACKEND}" CACHE STRING "Product web site base (user info)")
set(VESSA_IDP_BASE "${VESSA_LOCAL_BACKEND}" CACHE STRING "Identity provider API base")
set(VESSA_IDP_CLIENT_ID "client_01LOCALVESSADEVELOPMENT000" CACHE STRING "Identity provider client identifier")
set(VESSA_IDP_API_KEY "" CACHE STRING "Identity provider API key, sent as client secret when set")
set(VESSA_API_TOKEN "localdev" CACHE STRING "Bearer token of the chat endpoint")
set(VESSA_MCP_URL "${VESSA_LOCAL_BACKEND}" CACHE STRING "MCP server base (scheme and host)")
set(VESSA_VOICE_URL "${VESSA_LOCAL_BACKEND}" CACHE STRING "Voice agent server base (scheme and host)")
set(VESSA_STUN_HOSTS "127.0.0.1;127.0.0.1" CACHE STRING "The two STUN server host names, separated by ;")

list(LENGTH VESSA_STUN_HOSTS _stunCount)
if(NOT _stunCount EQUAL 2)
  message(FATAL_ERROR "VESSA_STUN_HOSTS must name exactly two hosts, got: ${VESSA_STUN_HOSTS}")
endif()
list(GET VESSA_STUN_HOSTS 0 VESSA_STUN_HOST_1)
list(GET VESSA_STUN_HOSTS 1 VESSA_STUN_HOST_2)

configure_file(${PROJECT_SOURCE_DIR}/src/Configuration.h.in ${PROJECT_BINARY_DIR}/generated/Configuration.h @ONLY)
