# Generates a development certificate authority and a server certificate for localhost and
# 127.0.0.1 into the build tree, so that a default build talks to the local service over real TLS.
# Nothing generated here is ever committed.

find_program(OPENSSL_EXECUTABLE openssl REQUIRED)

set(QUORL_DEV_CERT_DIR "${CMAKE_BINARY_DIR}/certs")
set(QUORL_DEV_CA_CERT "${QUORL_DEV_CERT_DIR}/dev-ca.pem")
set(QUORL_DEV_SERVER_CERT "${QUORL_DEV_CERT_DIR}/localhost.pem")
set(QUORL_DEV_SERVER_KEY "${QUORL_DEV_CERT_DIR}/localhost.key")

function(quorl_run_openssl)
    execute_process(COMMAND "${OPENSSL_EXECUTABLE}" ${ARGN}
                    WORKING_DIRECTORY "${QUORL_DEV_CERT_DIR}"
                    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "openssl ${ARGN} failed: ${err}")
    endif()
endfunction()

if(NOT EXISTS "${QUORL_DEV_SERVER_CERT}" OR NOT EXISTS "${QUORL_DEV_CA_CERT}")
    file(MAKE_DIRECTORY "${QUORL_DEV_CERT_DIR}")
    file(WRITE "${QUORL_DEV_CERT_DIR}/server.ext"
         "basicConstraints=critical,CA:FALSE\n"
         "keyUsage=critical,digitalSignature,keyEncipherment\n"
         "extendedKeyUsage=serverAuth\n"
         "subjectAltName=DNS:localhost,IP:127.0.0.1\n")
    quorl_run_openssl(req -x509 -newkey rsa:2048 -nodes -sha256 -days 825
                      -keyout dev-ca.key -out dev-ca.pem
                      -subj "/CN=Quorl Bank Development CA"
                      -addext "basicConstraints=critical,CA:TRUE"
                      -addext "keyUsage=critical,keyCertSign,cRLSign")
    quorl_run_openssl(req -newkey rsa:2048 -nodes -sha256
                      -keyout localhost.key -out localhost.csr -subj "/CN=localhost")
    quorl_run_openssl(x509 -req -in localhost.csr -CA dev-ca.pem -CAkey dev-ca.key
                      -CAcreateserial -days 825 -sha256 -extfile server.ext -out localhost.pem)
    file(CHMOD "${QUORL_DEV_SERVER_KEY}" "${QUORL_DEV_CERT_DIR}/dev-ca.key"
         PERMISSIONS OWNER_READ OWNER_WRITE)
    message(STATUS "Generated development TLS certificates in ${QUORL_DEV_CERT_DIR}")
endif()
