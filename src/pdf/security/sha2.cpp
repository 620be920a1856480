#include "pdf/security/sha2.h"

namespace vn::pdf::security {

void Sha2::Init(uint32_t bits) {
  bits_ = bits;
  if (bits == 384) sha384_init(&context_.sha512);
  else if (bits == 512) sha512_init(&context_.sha512);
  else {
    bits_ = 256;
    sha256_init(&context_.sha256);
  }
}

void Sha2::Update(const uint8_t* bytes, uint32_t length) {
  if (bits_ == 256) sha256_update(&context_.sha256, length, bytes);
  else sha512_update(&context_.sha512, length, bytes);  // sha384_update is the same function
}

void Sha2::Final(uint8_t* digest) {
  if (bits_ == 256) sha256_digest(&context_.sha256, SHA256_DIGEST_SIZE, digest);
  else if (bits_ == 384) sha384_digest(&context_.sha512, SHA384_DIGEST_SIZE, digest);
  else sha512_digest(&context_.sha512, SHA512_DIGEST_SIZE, digest);
}

}  // namespace vn::pdf::security
