# Authenticode-signs one file in place with osslsigncode:
#   cmake -DOSSLSIGNCODE=... -DOPENSSL=... -DSIGNING_DIR=... -P sign.cmake FILE
#
# A release build names its certificate in the environment (read here, at build time, so that no
# secret lands in the CMake cache):
#   OSTINEL_SIGN_PKCS12             a PKCS#12 file (.pfx/.p12) with the key and the certificate chain, or
#   OSTINEL_SIGN_CERT, OSTINEL_SIGN_KEY   PEM files: the certificate (followed by its chain) and the key;
#   OSTINEL_SIGN_PASSWORD           the password of the PKCS#12 file or of an encrypted key (optional);
#   OSTINEL_SIGN_TIMESTAMP_URL      an RFC 3161 timestamp server (optional; keeps the signature valid
#                                   after the certificate expires).
# Without them the file is signed with a throwaway test certificate made in SIGNING_DIR, whose root
# is SIGNING_DIR/test-root.pem: every build proves the step, and nothing secret is needed.
# A file that already carries a signature is left alone, so the step can run after every build.
cmake_minimum_required(VERSION 3.25)

set(file "")
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 1 ${last})
  if(CMAKE_ARGV${i} STREQUAL "-P")
    math(EXPR next "${i} + 2")
    if(next LESS CMAKE_ARGC)
      set(file "${CMAKE_ARGV${next}}")
    endif()
  endif()
endforeach()
if(file STREQUAL "" OR NOT EXISTS "${file}")
  message(FATAL_ERROR "sign.cmake: no file to sign ('${file}')")
endif()
foreach(var OSSLSIGNCODE OPENSSL SIGNING_DIR)
  if(NOT ${var})
    message(FATAL_ERROR "sign.cmake: define ${var}")
  endif()
endforeach()

execute_process(COMMAND "${OSSLSIGNCODE}" extract-signature -in "${file}" -out "${file}.sig"
                RESULT_VARIABLE unsigned OUTPUT_QUIET ERROR_QUIET)
file(REMOVE "${file}.sig")
if(unsigned EQUAL 0)
  return()
endif()

file(MAKE_DIRECTORY "${SIGNING_DIR}")
set(credentials "")
set(password_file "")
if(DEFINED ENV{OSTINEL_SIGN_PKCS12} AND NOT "$ENV{OSTINEL_SIGN_PKCS12}" STREQUAL "")
  set(credentials -pkcs12 "$ENV{OSTINEL_SIGN_PKCS12}")
elseif(DEFINED ENV{OSTINEL_SIGN_CERT} AND NOT "$ENV{OSTINEL_SIGN_CERT}" STREQUAL "")
  if("$ENV{OSTINEL_SIGN_KEY}" STREQUAL "")
    message(FATAL_ERROR "sign.cmake: OSTINEL_SIGN_CERT is set but OSTINEL_SIGN_KEY is not")
  endif()
  set(credentials -certs "$ENV{OSTINEL_SIGN_CERT}" -key "$ENV{OSTINEL_SIGN_KEY}")
else()
  # Test certificate: a root that signs a code-signing certificate. Made once per build tree; the
  # lock keeps two programs linked at the same time from making two.
  set(root "${SIGNING_DIR}/test-root.pem")
  set(cert "${SIGNING_DIR}/test-signer.pem")
  set(key "${SIGNING_DIR}/test-signer.key")
  file(LOCK "${SIGNING_DIR}/test.lock" GUARD PROCESS TIMEOUT 120)
  if(NOT EXISTS "${root}" OR NOT EXISTS "${cert}" OR NOT EXISTS "${key}")
    set(root_key "${SIGNING_DIR}/test-root.key")
    file(WRITE "${SIGNING_DIR}/signer.ext"
         "basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n")
    string(RANDOM LENGTH 16 ALPHABET 0123456789abcdef serial)
    set(step1 req -x509 -newkey rsa:2048 -nodes -keyout ${root_key} -out ${root} -days 3650
        -subj "/CN=Ostinel Test Root (not trusted)"
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign")
    set(step2 req -newkey rsa:2048 -nodes -keyout ${key} -out ${SIGNING_DIR}/signer.csr
        -subj "/O=Vemto/CN=Ostinel Test Signing")
    set(step3 x509 -req -in ${SIGNING_DIR}/signer.csr -CA ${root} -CAkey ${root_key} -set_serial 0x${serial}
        -days 3650 -sha256 -extfile ${SIGNING_DIR}/signer.ext -out ${cert})
    foreach(step step1 step2 step3)
      execute_process(COMMAND "${OPENSSL}" ${${step}} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
      if(failed)
        file(REMOVE "${root}" "${cert}" "${key}")
        message(FATAL_ERROR "sign.cmake: making the test certificate failed:\n${out}")
      endif()
    endforeach()
    # The root's key is not needed again: nothing else can be signed under the test root.
    file(REMOVE "${root_key}" "${SIGNING_DIR}/signer.csr" "${SIGNING_DIR}/signer.ext")
  endif()
  file(LOCK "${SIGNING_DIR}/test.lock" RELEASE)
  set(credentials -certs "${cert}" -key "${key}")
endif()

if(DEFINED ENV{OSTINEL_SIGN_PASSWORD} AND NOT "$ENV{OSTINEL_SIGN_PASSWORD}" STREQUAL "")
  # Through a private file, not the command line, which other users of the machine can read.
  string(RANDOM LENGTH 12 name)
  set(password_file "${SIGNING_DIR}/.pass-${name}")
  file(WRITE "${password_file}" "")
  file(CHMOD "${password_file}" PERMISSIONS OWNER_READ OWNER_WRITE)
  file(WRITE "${password_file}" "$ENV{OSTINEL_SIGN_PASSWORD}")
  list(APPEND credentials -readpass "${password_file}")
endif()
set(timestamp "")
if(DEFINED ENV{OSTINEL_SIGN_TIMESTAMP_URL} AND NOT "$ENV{OSTINEL_SIGN_TIMESTAMP_URL}" STREQUAL "")
  set(timestamp -ts "$ENV{OSTINEL_SIGN_TIMESTAMP_URL}")
endif()

execute_process(
  COMMAND "${OSSLSIGNCODE}" sign ${credentials} -h sha256 -n "Ostinel" ${timestamp}
          -in "${file}" -out "${file}.signed"
  RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(password_file)
  file(REMOVE "${password_file}")
endif()
if(failed)
  file(REMOVE "${file}.signed")
  message(FATAL_ERROR "sign.cmake: signing ${file} failed:\n${out}")
endif()
file(RENAME "${file}.signed" "${file}")
if(file MATCHES "\\.exe$")
  file(CHMOD "${file}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
