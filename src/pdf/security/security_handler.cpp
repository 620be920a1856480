#include "pdf/security/security_handler.h"

#include <cstring>
#include <new>

#include "pdf/security/rc4_stream.h"
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

StandardParams ReadParams(AppContext& context, const Value& encrypt, const Value& firstId, int32_t revision,
                          uint32_t keyLength) {
  StandardParams params;
  params.revision = revision;
  params.keyLength = keyLength;
  StringView(store::Get(context, encrypt, "O"), params.owner, params.ownerLength);
  StringView(store::Get(context, encrypt, "U"), params.user, params.userLength);
  params.permissions = store::Get(context, encrypt, "P").AsInt();
  StringView(firstId, params.id, params.idLength);
  Value metadata = store::Get(context, encrypt, "EncryptMetadata");
  params.encryptMetadata = !(metadata.type == store::kBoolean && !metadata.AsBool());
  return params;
}

// The "V" = 4 check: every crypt filter used at document open must be RC4
// ("V2") or nothing ("None").
bool CryptFiltersSupported(AppContext& context, const Value& encrypt) {
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
    Value method = store::Get(context, filter, "CFM");
    if (method.IsNull() || method.NameIs("None") || method.NameIs("V2")) continue;
    return false;
  }
  return true;
}

}  // namespace

uint32_t Decrypter::DecryptString(AppContext&, uint8_t* bytes, uint32_t length) {
  const CipherKey* key = GetStringKey();
  if (key == nullptr || length == 0) return length;
  Rc4State state;
  state.Init(key->bytes, key->length);
  state.Process(bytes, bytes, length);
  return length;
}

DataBlockStream* DecryptStreamData(AppContext& context, Decrypter* decrypter, DataBlockStream* source) {
  if (decrypter == nullptr) return source;
  const CipherKey* key = decrypter->GetStreamKey();
  if (key == nullptr) return source;
  return New<RC4DataBlockStream>(context, context, source, key->bytes, key->length);
}

Decrypter* UnknownSecurityHandler::CreateDecrypter(int32_t, int32_t, Arena&) { RaiseOverflow(context_); }

StandardSecurityHandler::StandardSecurityHandler(AppContext& context, const Value& encrypt, const Value& id,
                                                 int32_t revision, uint32_t keyLength, const uint8_t* password,
                                                 uint32_t passwordLength)
    : SecurityHandler(HandlerKind::kStandard),
      context_(context),
      arena_(context, kArenaChunk, kArenaChunk), revision_(revision), keyLength_(keyLength) {
  encrypt_ = store::CopyValue(arena_, encrypt);
  if (passwordLength > kMaxPasswordLength) return;  // refused without computing
  Value firstId = FirstId(context, id);
  StandardParams params = ReadParams(context, encrypt_, firstId, revision, keyLength);
  switch (AuthenticatePassword(params, password, passwordLength, fileKey_)) {
    case PasswordResult::kOwner:
      authorized_ = true;
      owner_ = true;
      permissions_ = kOwnerPermissions;
      break;
    case PasswordResult::kUser:
      authorized_ = true;
      permissions_ = UserPermissions(params);
      break;
    case PasswordResult::kRefused:
      break;
  }
}

Decrypter* StandardSecurityHandler::CreateDecrypter(int32_t objectNumber, int32_t generation, Arena& arena) {
  if (revision_ >= 4) {
    void* storage = arena.Allocate(sizeof(StandardV4Decrypter));
    return ::new (storage) StandardV4Decrypter(*this, objectNumber, generation);
  }
  void* storage = arena.Allocate(sizeof(StandardDecrypter));
  return ::new (storage) StandardDecrypter(context_, *this, objectNumber, generation);
}

const CipherKey* StandardSecurityHandler::CryptFilterKey(const uint8_t* name, uint32_t nameLength,
                                                         int32_t objectNumber, int32_t generation, CipherKey& key) {
  if (BytesAre(name, nameLength, "Identity")) return nullptr;
  Value cf = store::Get(context_, encrypt_, "CF");
  Value filter;
  if (cf.IsDictionary()) filter = store::Get(context_, cf, name, nameLength);
  if (!filter.IsDictionary() || !store::Get(context_, filter, "CFM").NameIs("V2")) RaiseUnsupported(context_);
  key.length = ComputeObjectKey(fileKey_, keyLength_, objectNumber, generation, key.bytes);
  return &key;
}

StandardDecrypter::StandardDecrypter(AppContext& context, const StandardSecurityHandler& handler,
                                     int32_t objectNumber, int32_t generation)
    : context_(context) {
  key_.length = ComputeObjectKey(handler.FileKey(), handler.KeyLength(), objectNumber, generation, key_.bytes);
}

void StandardDecrypter::ApplyCryptFilter(DataBlockStream*&, DataBlockStream*, const Value&) {
  RaiseOverflow(context_);
}

Rc4State* StandardDecrypter::CreateStringCipher(Arena& arena) {
  auto* state = static_cast<Rc4State*>(arena.Allocate(sizeof(Rc4State)));
  state->Init(key_.bytes, key_.length);
  return state;
}

StandardV4Decrypter::StandardV4Decrypter(StandardSecurityHandler& handler, int32_t objectNumber,
                                         int32_t generation)
    : handler_(handler), objectNumber_(objectNumber), generation_(generation) {}

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
  if (key == nullptr) return nullptr;
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
  out = New<RC4DataBlockStream>(context, context, source, found->bytes, found->length);
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
  if (version == 4 && !CryptFiltersSupported(context, encrypt)) return New<UnknownSecurityHandler>(context, context);
  if (version >= 5 || revision >= 5) return New<UnknownSecurityHandler>(context, context);
  if (revision < 2 || revision > 4) RaiseUnsupported(context);
  uint32_t keyLength = 5;
  if (revision != 2) {
    Value lengthValue = store::Get(context, encrypt, "Length");
    int32_t bits = lengthValue.IsNull() ? 40 : lengthValue.AsInt();
    if (bits < 40 || bits > 128 || bits % 8 != 0) RaiseUnsupported(context);
    keyLength = static_cast<uint32_t>(bits / 8);
  }
  uint32_t passwordLength = 0;
  if (password != nullptr) {
    while (password[passwordLength] != 0 && passwordLength <= kMaxPasswordLength) ++passwordLength;
  }
  return New<StandardSecurityHandler>(context, context, encrypt, id, revision, keyLength,
                                      reinterpret_cast<const uint8_t*>(password), passwordLength);
}

}  // namespace vn::pdf::security
