// Security handlers: whether a password opens a document, its permission
// bits, and the decrypter of each indirect object.
//
// Entry point for the document store:
//
//   SecurityHandler* handler = CreateSecurityHandler(context, encrypt, id, "Standard", password);
//
// `encrypt` is the trailer's resolved "Encrypt" dictionary (a null cell when
// the trailer has none), `id` the trailer's "ID" array (any cell; only a
// leading string is used) and `password` a zero-terminated byte string (see
// PasswordCopier). The result is built with New and owned by the caller
// (vn::Delete it); the handler copies what it needs from the cells, so they
// may go away afterwards. Raises kUnsupported (5) for an unsupported
// revision or key length and kBadData for a malformed dictionary.
//
// Decrypters live in the arena given to CreateDecrypter and need no
// destruction; they refer to their handler, which must outlive them.
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "pdf/security/rc4.h"
#include "pdf/security/standard_algorithms.h"
#include "pdf/store/string_decrypter.h"
#include "pdf/store/value.h"
#include "runtime/arena.h"

namespace vn::pdf::security {

struct CipherKey {
  uint8_t bytes[kMaxKeyLength];
  uint32_t length;
};

class Decrypter : public store::StringDecrypter {
 public:
  ~Decrypter() override = default;
  // The decryption of a "Crypt" entry in a stream's filter list. On return
  // `out` is the stream to read: `source` itself when nothing is decrypted,
  // else a new stream that owns `source` (the caller Wraps `out`). On a
  // raise `source` stays the caller's.
  virtual void ApplyCryptFilter(data_io::DataBlockStream*& out, data_io::DataBlockStream* source,
                                const store::Value& decodeParms) = 0;
  // A fresh RC4 state for one string of the object, in `arena`; null when
  // strings are not encrypted.
  virtual Rc4State* CreateStringCipher(Arena& arena) = 0;
  // Null when the object's streams (strings) are not encrypted.
  virtual const CipherKey* GetStreamKey() = 0;
  virtual const CipherKey* GetStringKey() = 0;

  // The parser's hook: each string decrypted with a fresh RC4 state.
  uint32_t DecryptString(AppContext& context, uint8_t* bytes, uint32_t length) override;
};

// Stream data of an object without a "Crypt" filter: `source` wrapped in an
// RC4DataBlockStream with the stream key, or `source` itself when there is
// no key (decrypter null or streams not encrypted). Same ownership as
// ApplyCryptFilter.
data_io::DataBlockStream* DecryptStreamData(AppContext& context, Decrypter* decrypter,
                                            data_io::DataBlockStream* source);

enum class HandlerKind { kNone, kUnknown, kStandard };

class SecurityHandler {
 public:
  explicit SecurityHandler(HandlerKind kind) : kind_(kind) {}
  virtual ~SecurityHandler() = default;
  // Which handler this is (the opener asks for a password only for kStandard).
  HandlerKind Kind() const { return kind_; }
  virtual bool IsAuthorized() const = 0;
  virtual int32_t GetPermissions() const = 0;
  // Null when the object needs no decryption.
  virtual Decrypter* CreateDecrypter(int32_t objectNumber, int32_t generation, Arena& arena) = 0;

 private:
  HandlerKind kind_;
};

class NoSecurityHandler final : public SecurityHandler {
 public:
  NoSecurityHandler() : SecurityHandler(HandlerKind::kNone) {}
  bool IsAuthorized() const override { return true; }
  int32_t GetPermissions() const override { return -4; }
  Decrypter* CreateDecrypter(int32_t, int32_t, Arena&) override { return nullptr; }
};

class UnknownSecurityHandler final : public SecurityHandler {
 public:
  explicit UnknownSecurityHandler(AppContext& context) : SecurityHandler(HandlerKind::kUnknown), context_(context) {}
  bool IsAuthorized() const override { return false; }
  int32_t GetPermissions() const override { return 0; }
  // Raises kOverflow (1): nothing may be decrypted.
  Decrypter* CreateDecrypter(int32_t, int32_t, Arena&) override;

 private:
  AppContext& context_;
};

class StandardSecurityHandler final : public SecurityHandler {
 public:
  // `encrypt` has passed the creation checks; `keyLength` is n in bytes.
  StandardSecurityHandler(AppContext& context, const store::Value& encrypt, const store::Value& id,
                          int32_t revision, uint32_t keyLength, const uint8_t* password, uint32_t passwordLength);

  bool IsAuthorized() const override { return authorized_; }
  int32_t GetPermissions() const override { return permissions_; }
  Decrypter* CreateDecrypter(int32_t objectNumber, int32_t generation, Arena& arena) override;

  int32_t Revision() const { return revision_; }
  uint32_t KeyLength() const { return keyLength_; }
  const uint8_t* FileKey() const { return fileKey_; }
  bool OpenedByOwner() const { return owner_; }
  const store::Value& EncryptDictionary() const { return encrypt_; }
  // The object key of a crypt filter of this document: null for "Identity",
  // raises kUnsupported unless "CF" names it with "CFM" "V2".
  const CipherKey* CryptFilterKey(const uint8_t* name, uint32_t nameLength, int32_t objectNumber,
                                  int32_t generation, CipherKey& key);
  AppContext& Context() const { return context_; }

 private:
  AppContext& context_;
  Arena arena_;  // the handler's copy of the dictionary
  store::Value encrypt_;
  int32_t revision_;
  uint32_t keyLength_;
  bool authorized_ = false;
  bool owner_ = false;
  int32_t permissions_ = 0;
  uint8_t fileKey_[kMaxKeyLength] = {};
};

// R = 2 or 3: one object key for strings and streams.
class StandardDecrypter final : public Decrypter {
 public:
  StandardDecrypter(AppContext& context, const StandardSecurityHandler& handler, int32_t objectNumber,
                    int32_t generation);
  // Raises kOverflow (1): revisions 2 and 3 have no crypt filters.
  void ApplyCryptFilter(data_io::DataBlockStream*& out, data_io::DataBlockStream* source,
                        const store::Value& decodeParms) override;
  Rc4State* CreateStringCipher(Arena& arena) override;
  const CipherKey* GetStreamKey() override { return &key_; }
  const CipherKey* GetStringKey() override { return &key_; }

 private:
  AppContext& context_;
  CipherKey key_;
};

// R = 4: keys chosen by crypt filters ("StmF", "StrF", a "Crypt" entry's
// "Name"), looked up when first needed.
class StandardV4Decrypter final : public Decrypter {
 public:
  StandardV4Decrypter(StandardSecurityHandler& handler, int32_t objectNumber, int32_t generation);
  void ApplyCryptFilter(data_io::DataBlockStream*& out, data_io::DataBlockStream* source,
                        const store::Value& decodeParms) override;
  Rc4State* CreateStringCipher(Arena& arena) override;
  const CipherKey* GetStreamKey() override;
  const CipherKey* GetStringKey() override;

 private:
  const CipherKey* Select(const char* entry, CipherKey& key, int8_t& state);
  StandardSecurityHandler& handler_;
  int32_t objectNumber_;
  int32_t generation_;
  CipherKey streamKey_;
  CipherKey stringKey_;
  int8_t streamState_ = -1;  // -1 not looked up, 0 none, 1 key
  int8_t stringState_ = -1;
};

SecurityHandler* CreateSecurityHandler(AppContext& context, const store::Value& encrypt, const store::Value& id,
                                       const char* handlerName, const char* password);

}  // namespace vn::pdf::security
