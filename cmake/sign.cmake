# Authenticode-signs one file in place with osslsigncode:
#   cmake -DOSSLSIGNCODE=... -DOPENSSL=... -DSIGNING_DIR=... -P sign.cmake FILE
#
# A release build names its credentials in the environment (read here, at build time, so that no
# secret lands in the CMake cache), one of:
#   OSTINEL_SIGN_PKCS12             a PKCS#12 file (.pfx/.p12) with the key and the certificate chain;
#   OSTINEL_SIGN_CERT, OSTINEL_SIGN_KEY   the certificate (PEM, followed by its chain) and the key:
#                                   a PEM file, or the PKCS#11 URI (pkcs11:...) of a key in a token,
#                                   which then needs
#     OSTINEL_SIGN_PKCS11_MODULE    the token's PKCS#11 module, and optionally
#     OSTINEL_SIGN_PKCS11_ENGINE    the OpenSSL PKCS#11 engine (default: the one OpenSSL finds as
#                                   "pkcs11");
#   OSTINEL_SIGN_TOOL               an external signing command (a cloud signing service's client),
#                                   run once per file with the file's full path appended as its last
#                                   argument; it signs that file in place with an RFC 3161 timestamp
#                                   from OSTINEL_SIGN_TIMESTAMP_URL (in its environment) and exits 0.
#                                   It gets the file without a signature.
# and with them:
#   OSTINEL_SIGN_PASSWORD           the password of the PKCS#12 file or of an encrypted key, or the
#                                   token's PIN (optional);
#   OSTINEL_SIGN_TIMESTAMP_URL      an RFC 3161 timestamp server: required, since without a
#                                   timestamp every signature dies with the certificate.
# Without them the file is signed with a throwaway test certificate made in SIGNING_DIR, whose root
# is SIGNING_DIR/test-root.pem: every build proves the step, and nothing secret is needed.
# A file that already carries a signature is left alone, so the step can run after every build;
# with release credentials, a file that an earlier build signed under the test root is signed
# again. A release signature is checked for its timestamp before the file is accepted.
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

set(test_root_name "Ostinel Test Root (not trusted)")
macro(env_set out name)
  if(DEFINED ENV{${name}} AND NOT "$ENV{${name}}" STREQUAL "")
    set(${out} ON)
  else()
    set(${out} OFF)
  endif()
endmacro()

# Which credentials: one release kind, or none (the test certificate).
set(release "")
foreach(name OSTINEL_SIGN_TOOL OSTINEL_SIGN_PKCS12 OSTINEL_SIGN_CERT)
  env_set(given ${name})
  if(given)
    list(APPEND release ${name})
  endif()
endforeach()
list(LENGTH release kinds)
if(kinds GREATER 1)
  list(JOIN release ", " release)
  message(FATAL_ERROR "sign.cmake: set only one of ${release}")
endif()
env_set(key_given OSTINEL_SIGN_KEY)
if(key_given AND NOT release STREQUAL "OSTINEL_SIGN_CERT")
  message(FATAL_ERROR "sign.cmake: OSTINEL_SIGN_KEY is set but OSTINEL_SIGN_CERT is not")
endif()
env_set(timestamp_given OSTINEL_SIGN_TIMESTAMP_URL)
if(release AND NOT timestamp_given)
  message(FATAL_ERROR "sign.cmake: signing with ${release} needs OSTINEL_SIGN_TIMESTAMP_URL, the URL "
          "of an RFC 3161 timestamp server (e.g. your certificate authority's): without a timestamp "
          "the signature is void when the certificate expires. Not signing ${file}.")
endif()

# signature_facts(<file> <signed> <test-signed> <timestamped>): what the file's signature is.
# Test-signed: a certificate in the signature is the test root or was issued by it.
function(signature_facts path signed_out test_out timestamp_out)
  set(sig "${path}.sig.pem")
  execute_process(COMMAND "${OSSLSIGNCODE}" extract-signature -pem -in "${path}" -out "${sig}"
                  RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
  set(${signed_out} OFF PARENT_SCOPE)
  set(${test_out} OFF PARENT_SCOPE)
  set(${timestamp_out} OFF PARENT_SCOPE)
  if(failed)
    file(REMOVE "${sig}")
    return()
  endif()
  execute_process(COMMAND "${OPENSSL}" pkcs7 -in "${sig}" -print_certs -noout
                  RESULT_VARIABLE failed OUTPUT_VARIABLE certs ERROR_QUIET)
  execute_process(COMMAND "${OPENSSL}" pkcs7 -in "${sig}" -print -noout
                  OUTPUT_VARIABLE dump ERROR_QUIET)
  file(REMOVE "${sig}")
  if(failed)
    return()
  endif()
  set(${signed_out} ON PARENT_SCOPE)
  string(FIND "${certs}" "${test_root_name}" at)
  if(NOT at EQUAL -1)
    set(${test_out} ON PARENT_SCOPE)
  endif()
  # An RFC 3161 timestamp (Microsoft's attribute) or an Authenticode countersignature.
  if(dump MATCHES "1\\.3\\.6\\.1\\.4\\.1\\.311\\.3\\.3\\.1|countersignature")
    set(${timestamp_out} ON PARENT_SCOPE)
  endif()
endfunction()

signature_facts("${file}" signed test_signed timestamped)
if(signed AND NOT (release AND (test_signed OR NOT timestamped)))
  return()
endif()

file(MAKE_DIRECTORY "${SIGNING_DIR}")
function(restore_exec_bit)
  if(file MATCHES "\\.exe$")
    file(CHMOD "${file}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endfunction()
function(remove_signature)
  execute_process(COMMAND "${OSSLSIGNCODE}" remove-signature -in "${file}" -out "${file}.unsigned"
                  RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(failed)
    file(REMOVE "${file}.unsigned")
    message(FATAL_ERROR "sign.cmake: removing the signature of ${file} failed:\n${out}")
  endif()
  file(RENAME "${file}.unsigned" "${file}")
  restore_exec_bit()
endfunction()

# A release signature must be there, be no test signature and carry its timestamp; a file that
# fails is left unsigned, so that the next build signs it again.
function(check_release_signature who)
  signature_facts("${file}" signed test_signed timestamped)
  if(NOT signed OR test_signed)
    message(FATAL_ERROR "sign.cmake: ${who} left ${file} without a release signature")
  endif()
  if(NOT timestamped)
    remove_signature()
    message(FATAL_ERROR "sign.cmake: ${who} signed ${file} without a timestamp (OSTINEL_SIGN_TIMESTAMP_URL)")
  endif()
endfunction()

if(signed)
  # Signed by an earlier build: under the test root, or without a timestamp.
  message(STATUS "sign.cmake: signing ${file} again with ${release}")
  remove_signature()
endif()

if(release STREQUAL "OSTINEL_SIGN_TOOL")
  separate_arguments(tool NATIVE_COMMAND "$ENV{OSTINEL_SIGN_TOOL}")
  execute_process(COMMAND ${tool} "${file}" RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT failed EQUAL 0)
    message(FATAL_ERROR "sign.cmake: OSTINEL_SIGN_TOOL failed (${failed}) on ${file}:\n${out}")
  endif()
  restore_exec_bit()
  check_release_signature(OSTINEL_SIGN_TOOL)
  return()
endif()

set(credentials "")
set(password_file "")
if(release STREQUAL "OSTINEL_SIGN_PKCS12")
  set(credentials -pkcs12 "$ENV{OSTINEL_SIGN_PKCS12}")
elseif(release STREQUAL "OSTINEL_SIGN_CERT")
  if(NOT key_given)
    message(FATAL_ERROR "sign.cmake: OSTINEL_SIGN_CERT is set but OSTINEL_SIGN_KEY is not")
  endif()
  # A PKCS#11 URI separates its attributes with ';', which must stay in the one argument.
  string(REPLACE ";" "\\;" key_arg "$ENV{OSTINEL_SIGN_KEY}")
  set(credentials -certs "$ENV{OSTINEL_SIGN_CERT}" -key "${key_arg}")
  if("$ENV{OSTINEL_SIGN_KEY}" MATCHES "^pkcs11:")
    env_set(module_given OSTINEL_SIGN_PKCS11_MODULE)
    if(NOT module_given)
      message(FATAL_ERROR "sign.cmake: the key is in a token (OSTINEL_SIGN_KEY is a pkcs11: URI): "
              "name the token's PKCS#11 module in OSTINEL_SIGN_PKCS11_MODULE")
    endif()
    list(APPEND credentials -pkcs11module "$ENV{OSTINEL_SIGN_PKCS11_MODULE}")
    env_set(engine_given OSTINEL_SIGN_PKCS11_ENGINE)
    if(engine_given)
      list(APPEND credentials -pkcs11engine "$ENV{OSTINEL_SIGN_PKCS11_ENGINE}")
    endif()
  endif()
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
        -subj "/CN=${test_root_name}"
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
if(timestamp_given)
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
restore_exec_bit()
if(release)
  check_release_signature(osslsigncode)
endif()
