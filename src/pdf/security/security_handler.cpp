#include "pdf/security/security_handler.h"

#include <cstring>
#include <new>

#include "pdf/security/aes256_password.h"
#include "pdf/security/aes_stream.h"
#include "pdf/security/password_forms.h"
#include "pdf/security/rc4_stream.h"
#include "runtime/engine_array.h"
#include "runtime/engine_new.h"

namespace vn::pdf::security {

using data_io::DataBlockStream;
using store::Value;

namespace {

constexpr uint32_t kArenaChunk = 512;

bool BytesAre(const uint8_t* bytes, uint32_t length, const char* text) {
  size_t n = std::strlen(text);
  return length == n && std::memcmp(bytes, text, n) == 0;
}

void StringView(const Value& value, const uint8_t*& bytes, uint32_t& length) {
  if (value.IsString()) {
    bytes = value.Bytes();
    length = value.Length();
  } else {
    bytes = nullptr;
    length = 0;
  }
}

// The first string of the trailer's "ID" array, or nothing.
Value FirstId(AppContext& context, const Value& id) {
  if (!id.IsArray() || store::ArraySize(context, id) == 0) return Value();
  const Value& first = store::ArrayAt(context, id, 0);
  return first.IsString() ? first : Value();
}

bool ReadEncryptMetadata(AppContext& context, const Value& encrypt) {
  Value metadata = store::Get(context, encrypt, "EncryptMetadata");
  return !(metadata.type == store::kBoolean && !metadata.AsBool());
}

StandardParams ReadParams(AppContext& context, const Value& encrypt, const Value& firstId, int32_t revision,
                          uint32_t keyLength) {
  StandardParams params;
  params.revision = revision;
  params.keyLength = keyLength;
  StringView(store::Get(context, encrypt, "O"), params.owner, params.ownerLength);
  StringView(store::Get(context, encrypt, "U"), params.user, params.userLength);
  params.permissions = store::Get(context, encrypt, "P").AsInt32Bits();
  StringView(firstId, params.id, params.idLength);
  params.encryptMetadata = ReadEncryptMetadata(context, encrypt);
  return params;
}

Aes256Params ReadAes256Params(AppContext& context, const Value& encrypt, int32_t revision) {
  Aes256Params params;
  params.revision = revision;
  StringView(store::Get(context, encrypt, "O"), params.owner, params.ownerLength);
  StringView(store::Get(context, encrypt, "U"), params.user, params.userLength);
  StringView(store::Get(context, encrypt, "OE"), params.ownerKey, params.ownerKeyLength);
  StringView(store::Get(context, encrypt, "UE"), params.userKey, params.userKeyLength);
  StringView(store::Get(context, encrypt, "Perms"), params.perms, params.permsLength);
  params.permissions = store::Get(context, encrypt, "P").AsInt32Bits();
  params.encryptMetadata = ReadEncryptMetadata(context, encrypt);
  return params;
}

// The crypt filter methods a revision can decrypt: RC4 ("V2") and AES-128
// ("AESV2") with the MD5 keys of revision 4, AES-256 ("AESV3") with the
// 32-byte file key of revisions 5 and 6; "None" everywhere.
bool MethodSupported(const Value& method, int32_t revision) {
  if (method.IsNull() || method.NameIs("None")) return true;
  if (revision >= 5) return method.NameIs("AESV3");
  return method.NameIs("V2") || method.NameIs("AESV2");
}

// Every crypt filter used at document open must have a method we decrypt.
bool CryptFiltersSupported(AppContext& context, const Value& encrypt, int32_t revision) {
  Value cf = store::Get(context, encrypt, "CF");
  if (!cf.IsDictionary()) return true;
  store::CellCursor cursor(cf.container);
  while (!cursor.Done()) {
    cursor.Next();  // the key
    if (cursor.Done()) break;
    const Value& filter = cursor.Get();
    cursor.Next();
    if (!filter.IsDictionary()) continue;
    Value event = store::Get(context, filter, "AuthEvent");
    if (!event.IsNull() && !event.NameIs("DocOpen")) continue;
    if (!MethodSupported(store::Get(context, filter, "CFM"), revision)) return false;
  }
  return true;
}

// The crypt filter dictionary "StmF" names, or a null cell.
Value StreamFilter(AppContext& context, const Value& encrypt) {
  Value name = store::Get(context, encrypt, "StmF");
  Value cf = store::Get(context, encrypt, "CF");
  if (!name.IsName() || !cf.IsDictionary()) return Value();
  return store::Get(context, cf, name.Bytes(), name.Length());
}

// n in bytes for revisions 3 and 4: "Length" (bits) when present; else, for
// an AES-128 stream filter 16, else the filter's own "Length" (bytes when
// at most 16, as some writers put it, bits otherwise); else 40 bits.
uint32_t ReadKeyLength(AppContext& context, const Value& encrypt) {
  Value length = store::Get(context, encrypt, "Length");
  int32_t bits = 40;
  if (!length.IsNull()) {
    bits = length.AsInt();
  } else {
    Value filter = StreamFilter(context, encrypt);
    if (filter.IsDictionary()) {
      Value filterLength = store::Get(context, filter, "Length");
      if (store::Get(context, filter, "CFM").NameIs("AESV2")) bits = 128;
      else if (filterLength.IsInteger()) bits = filterLength.i <= 16 ? filterLength.i * 8 : filterLength.i;
    }
  }
  if (bits < 40 || bits > 128 || bits % 8 != 0) RaiseUnsupported(context);
  return static_cast<uint32_t>(bits / 8);
}

}  // namespace

uint32_t Decrypter::DecryptString(AppContext& context, uint8_t* bytes, uint32_t length) {
  const CipherKey* key = GetStringKey();
  if (key == nullptr || length == 0) return length;
  if (key->method == CipherMethod::kAes) return DecryptAesString(context, *key, bytes, length);
  Rc4State state;
  state.Init(key->bytes, key->length);
  state.Process(bytes, bytes, length);
  return length;
}

uint32_t Decrypter::DecryptAesString(AppContext&, const CipherKey& key, uint8_t* bytes, uint32_t length) {
  constexpr uint32_t kBlock = AesCipher::kBlockSize;
  // Shorter than the IV: nothing was encrypted. Bytes after the last whole
  // block cannot be decrypted and are dropped.
  if (length < kBlock) return 0;
  uint32_t body = (length - kBlock) / kBlock * kBlock;
  if (stringCipher_ == nullptr) {
    void* storage = arena_.Allocate(sizeof(AesCipher));
    stringCipher_ = ::new (storage) AesCipher();
    stringCipher_->SetDecryptKey(key.bytes, key.length);
  }
  uint8_t iv[kBlock];
  std::memcpy(iv, bytes, kBlock);
  stringCipher_->DecryptCbc(iv, bytes + kBlock, bytes + kBlock, body);
  std::memmove(bytes, bytes + kBlock, body);
  return UnpaddedLength(bytes, body);
}

DataBlockStream* NewDecryptingStream(AppContext& context, DataBlockStream* source, const CipherKey& key) {
  if (key.method == CipherMethod::kAes) return New<AESDataBlockStream>(context, context, source, key.bytes, key.length);
  return New<RC4DataBlockStream>(context, context, source, key.bytes, key.length);
}

DataBlockStream* DecryptStreamData(AppContext& context, Decrypter* decrypter, DataBlockStream* source) {
  if (decrypter == nullptr) return source;
  const CipherKey* key = decrypter->GetStreamKey();
  if (key == nullptr) return source;
  return NewDecryptingStream(context, source, *key);
}

Decrypter* UnknownSecurityHandler::CreateDecrypter(int32_t, int32_t, Arena&) { RaiseOverflow(context_); }

StandardSecurityHandler::StandardSecurityHandler(AppContext& context, const Value& encrypt, const Value& id,
                                                 int32_t revision, uint32_t keyLength, const uint8_t* password,
                                                 uint32_t passwordLength)
    : SecurityHandler(HandlerKind::kStandard),
      context_(context),
      arena_(context, kArenaChunk, kArenaChunk),
      revision_(revision),
      keyLength_(keyLength) {
  encrypt_ = store::CopyValue(arena_, encrypt);
  firstId_ = store::CopyValue(arena_, FirstId(context, id));
  encryptMetadata_ = revision < 4 || ReadEncryptMetadata(context, encrypt_);
  Authenticate(password, passwordLength);
}

void StandardSecurityHandler::Authenticate(const uint8_t* password, uint32_t passwordLength) {
  if (TryPassword(password, passwordLength)) return;
  // The shell hands over UTF-8; the file may want another form of it.
  EngineArray<uint8_t> other(context_);
  if (AlternatePasswordForm(password, passwordLength, revision_, other)) TryPassword(other.Data(), other.Size());
}

bool StandardSecurityHandler::TryPassword(const uint8_t* password, uint32_t passwordLength) {
  // Revisions 5 and 6 cut the password to 127 bytes; earlier ones take at
  // most 32 and refuse a longer one without computing.
  if (revision_ >= 5) return TryAes256Password(password, passwordLength);
  if (passwordLength > kMaxPasswordLength) return false;
  StandardParams params = ReadParams(context_, encrypt_, firstId_, revision_, keyLength_);
  switch (AuthenticatePassword(params, password, passwordLength, fileKey_)) {
    case PasswordResult::kOwner:
      authorized_ = owner_ = true;
      permissions_ = kOwnerPermissions;
      return true;
    case PasswordResult::kUser:
      authorized_ = true;
      permissions_ = UserPermissions(params);
      return true;
    case PasswordResult::kRefused:
      return false;
  }
  return false;
}

bool StandardSecurityHandler::TryAes256Password(const uint8_t* password, uint32_t passwordLength) {
  Aes256Params params = ReadAes256Params(context_, encrypt_, revision_);
  PasswordResult result = AuthenticateAes256Password(context_, params, password, passwordLength, fileKey_);
  if (result == PasswordResult::kRefused) return false;
  authorized_ = true;
  owner_ = result == PasswordResult::kOwner;
  int32_t stored = params.permissions;
  switch (CheckPerms(context_, params, fileKey_, stored)) {
    case PermsCheck::kMatch: perms_ = PermsState::kMatch; break;
    case PermsCheck::kDiffers: perms_ = PermsState::kDiffers; break;
    case PermsCheck::kUnreadable: perms_ = PermsState::kUnreadable; break;
  }
  // P is not bound to the key; a Perms that disagrees with it is the value
  // the document was encrypted with.
  StandardParams bits;
  bits.revision = revision_;
  bits.permissions = stored;
  permissions_ = owner_ ? kOwnerPermissions : UserPermissions(bits);
  return true;
}

Decrypter* StandardSecurityHandler::CreateDecrypter(int32_t objectNumber, int32_t generation, Arena& arena) {
  if (revision_ >= 4) {
    void* storage = arena.Allocate(sizeof(StandardV4Decrypter));
    return ::new (storage) StandardV4Decrypter(arena, *this, objectNumber, generation);
  }
  void* storage = arena.Allocate(sizeof(StandardDecrypter));
  return ::new (storage) StandardDecrypter(arena, context_, *this, objectNumber, generation);
}

const char* StandardSecurityHandler::StreamMethod() {
  if (revision_ < 4) return "RC4";
  Value name = store::Get(context_, encrypt_, "StmF");
  if (!name.IsName() || name.NameIs("Identity")) return "none";
  Value method = store::Get(context_, StreamFilter(context_, encrypt_), "CFM");
  if (method.NameIs("V2")) return "RC4";
  if (method.NameIs("AESV2")) return "AES-128";
  if (method.NameIs("AESV3")) return "AES-256";
  return "none";
}

const CipherKey* StandardSecurityHandler::CryptFilterKey(const uint8_t* name, uint32_t nameLength,
                                                         int32_t objectNumber, int32_t generation, CipherKey& key) {
  if (BytesAre(name, nameLength, "Identity")) return nullptr;
  Value cf = store::Get(context_, encrypt_, "CF");
  Value filter;
  if (cf.IsDictionary()) filter = store::Get(context_, cf, name, nameLength);
  if (!filter.IsDictionary()) RaiseUnsupported(context_);
  Value method = store::Get(context_, filter, "CFM");
  if (method.NameIs("None")) return nullptr;
  if (!MethodSupported(method, revision_) || method.IsNull()) RaiseUnsupported(context_);
  if (method.NameIs("AESV3")) {
    std::memcpy(key.bytes, fileKey_, kAes256KeyLength);
    key.length = kAes256KeyLength;
    key.method = CipherMethod::kAes;
    return &key;
  }
  bool aes = method.NameIs("AESV2");
  key.length = ComputeObjectKey(fileKey_, keyLength_, objectNumber, generation, key.bytes, aes);
  key.method = aes ? CipherMethod::kAes : CipherMethod::kRc4;
  return &key;
}

StandardDecrypter::StandardDecrypter(Arena& arena, AppContext& context, const StandardSecurityHandler& handler,
                                     int32_t objectNumber, int32_t generation)
    : Decrypter(arena), context_(context) {
  key_.length = ComputeObjectKey(handler.FileKey(), handler.KeyLength(), objectNumber, generation, key_.bytes);
  key_.method = CipherMethod::kRc4;
}

void StandardDecrypter::ApplyCryptFilter(DataBlockStream*&, DataBlockStream*, const Value&) {
  RaiseOverflow(context_);
}

Rc4State* StandardDecrypter::CreateStringCipher(Arena& arena) {
  auto* state = static_cast<Rc4State*>(arena.Allocate(sizeof(Rc4State)));
  state->Init(key_.bytes, key_.length);
  return state;
}

StandardV4Decrypter::StandardV4Decrypter(Arena& arena, StandardSecurityHandler& handler, int32_t objectNumber,
                                         int32_t generation)
    : Decrypter(arena), handler_(handler), objectNumber_(objectNumber), generation_(generation) {}

const CipherKey* StandardV4Decrypter::Select(const char* entry, CipherKey& key, int8_t& state) {
  if (state < 0) {
    Value name = store::Get(handler_.Context(), handler_.EncryptDictionary(), entry);
    const CipherKey* found = nullptr;
    if (name.IsName()) {
      found = handler_.CryptFilterKey(name.Bytes(), name.Length(), objectNumber_, generation_, key);
    }
    state = found != nullptr ? 1 : 0;
  }
  return state == 1 ? &key : nullptr;
}

const CipherKey* StandardV4Decrypter::GetStreamKey() { return Select("StmF", streamKey_, streamState_); }
const CipherKey* StandardV4Decrypter::GetStringKey() { return Select("StrF", stringKey_, stringState_); }

Rc4State* StandardV4Decrypter::CreateStringCipher(Arena& arena) {
  const CipherKey* key = GetStringKey();
  if (key == nullptr || key->method != CipherMethod::kRc4) return nullptr;
  auto* state = static_cast<Rc4State*>(arena.Allocate(sizeof(Rc4State)));
  state->Init(key->bytes, key->length);
  return state;
}

void StandardV4Decrypter::ApplyCryptFilter(DataBlockStream*& out, DataBlockStream* source,
                                           const Value& decodeParms) {
  AppContext& context = handler_.Context();
  out = source;
  if (!decodeParms.IsDictionary()) return;
  Value name = store::Get(context, decodeParms, "Name");
  if (!name.IsName()) return;
  CipherKey key;
  const CipherKey* found = handler_.CryptFilterKey(name.Bytes(), name.Length(), objectNumber_, generation_, key);
  if (found == nullptr) return;
  out = NewDecryptingStream(context, source, *found);
}

SecurityHandler* CreateSecurityHandler(AppContext& context, const Value& encrypt, const Value& id,
                                       const char* handlerName, const char* password) {
  if (encrypt.IsNull()) return New<NoSecurityHandler>(context);
  if (!store::Get(context, encrypt, "Filter").NameIs("Standard") || handlerName == nullptr ||
      std::strcmp(handlerName, "Standard") != 0) {
    return New<UnknownSecurityHandler>(context, context);
  }
  int32_t version = store::Get(context, encrypt, "V").AsInt();
  int32_t revision = store::Get(context, encrypt, "R").AsInt();
  if (revision < 2 || revision > 6) RaiseUnsupported(context);
  if (version >= 4 && !CryptFiltersSupported(context, encrypt, revision)) {
    return New<UnknownSecurityHandler>(context, context);
  }
  uint32_t keyLength = 5;
  if (revision >= 5) keyLength = kAes256KeyLength;
  else if (revision != 2) keyLength = ReadKeyLength(context, encrypt);
  uint32_t passwordLength = 0;
  if (password != nullptr) {
    while (password[passwordLength] != 0 && passwordLength <= kMaxAes256PasswordLength) ++passwordLength;
  }
  return New<StandardSecurityHandler>(context, context, encrypt, id, revision, keyLength,
                                      reinterpret_cast<const uint8_t*>(password), passwordLength);
}

}  // namespace vn::pdf::security
