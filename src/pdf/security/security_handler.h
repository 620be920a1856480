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
//
// Revisions 2 to 4 use RC4 or AES-128 with MD5-derived keys, revisions 5
// and 6 AES-256 with SHA-2 password hashes; passwords are bytes (for
// revisions 5 and 6, UTF-8).
#pragma once

#include <cstdint>

#include "data_io/data_store.h"
#include "pdf/security/aes.h"
#include "pdf/security/rc4.h"
#include "pdf/security/standard_algorithms.h"
#include "pdf/store/string_decrypter.h"
#include "pdf/store/value.h"
#include "runtime/arena.h"

namespace vn::pdf::security {

// Keys up to AES-256's 32 bytes.
constexpr uint32_t kMaxCipherKeyLength = 32;

enum class CipherMethod : uint8_t { kRc4, kAes };

struct CipherKey {
  uint8_t bytes[kMaxCipherKeyLength];
  uint32_t length;
  CipherMethod method;
};

class Decrypter : public store::StringDecrypter {
 public:
  // `arena` is the object's: string ciphers are made there when needed.
  explicit Decrypter(Arena& arena) : arena_(arena) {}
  ~Decrypter() override = default;
  // The decryption of a "Crypt" entry in a stream's filter list. On return
  // `out` is the stream to read: `source` itself when nothing is decrypted,
  // else a new stream that owns `source` (the caller Wraps `out`). On a
  // raise `source` stays the caller's.
  virtual void ApplyCryptFilter(data_io::DataBlockStream*& out, data_io::DataBlockStream* source,
                                const store::Value& decodeParms) = 0;
  // A fresh RC4 state for one string of the object, in `arena`; null when
  // strings are not encrypted or not with RC4.
  virtual Rc4State* CreateStringCipher(Arena& arena) = 0;
  // Null when the object's streams (strings) are not encrypted.
  virtual const CipherKey* GetStreamKey() = 0;
  virtual const CipherKey* GetStringKey() = 0;
  // False when metadata streams are stored in the clear ("EncryptMetadata"
  // false).
  virtual bool EncryptsMetadata() const { return true; }

  // The parser's hook: each string decrypted on its own, with a fresh RC4
  // state or, for AES, the IV it starts with (it comes back without IV and
  // padding, so shorter).
  uint32_t DecryptString(AppContext& context, uint8_t* bytes, uint32_t length) override;

 private:
  uint32_t DecryptAesString(AppContext& context, const CipherKey& key, uint8_t* bytes, uint32_t length);
  Arena& arena_;
  AesCipher* stringCipher_ = nullptr;  // in the arena, keyed on first use
};

// A stream that decrypts `source` with `key`, taking `source` over. Raises
// only before it takes `source` (when the new stage cannot be allocated),
// so on a raise `source` stays the caller's.
data_io::DataBlockStream* NewDecryptingStream(AppContext& context, data_io::DataBlockStream* source,
                                              const CipherKey& key);

// Stream data of an object without a "Crypt" filter: `source` wrapped in a
// decrypting stream with the stream key, or `source` itself when there is
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

// How the Perms entry of an AES-256 document (revisions 5 and 6) compared
// with P; documents of earlier revisions have no Perms.
enum class PermsState { kNotApplicable, kMatch, kDiffers, kUnreadable };

class StandardSecurityHandler final : public SecurityHandler {
 public:
  // `encrypt` has passed the creation checks; `keyLength` is n in bytes (32
  // for revisions 5 and 6).
  StandardSecurityHandler(AppContext& context, const store::Value& encrypt, const store::Value& id,
                          int32_t revision, uint32_t keyLength, const uint8_t* password, uint32_t passwordLength);

  bool IsAuthorized() const override { return authorized_; }
  int32_t GetPermissions() const override { return permissions_; }
  Decrypter* CreateDecrypter(int32_t objectNumber, int32_t generation, Arena& arena) override;

  int32_t Revision() const { return revision_; }
  uint32_t KeyLength() const { return keyLength_; }
  const uint8_t* FileKey() const { return fileKey_; }
  bool OpenedByOwner() const { return owner_; }
  bool EncryptsMetadata() const { return encryptMetadata_; }
  // For AES-256 documents: whether Perms confirmed P. When it differs, the
  // permissions are those Perms holds (P is not protected by the key).
  PermsState Perms() const { return perms_; }
  // The method of the stream crypt filter (StmF), or of every object for
  // revisions 2 and 3: "RC4", "AES-128", "AES-256" or "none".
  const char* StreamMethod();
  const store::Value& EncryptDictionary() const { return encrypt_; }
  // The object key of a crypt filter of this document: null for "Identity"
  // and for a filter whose "CFM" is "None"; raises kUnsupported unless
  // "CF" names it with "CFM" "V2", "AESV2" or "AESV3".
  const CipherKey* CryptFilterKey(const uint8_t* name, uint32_t nameLength, int32_t objectNumber,
                                  int32_t generation, CipherKey& key);
  AppContext& Context() const { return context_; }

 private:
  void Authenticate(const uint8_t* password, uint32_t passwordLength);
  bool TryPassword(const uint8_t* password, uint32_t passwordLength);
  bool TryAes256Password(const uint8_t* password, uint32_t passwordLength);

  AppContext& context_;
  Arena arena_;  // the handler's copy of the dictionary and ID
  store::Value encrypt_;
  store::Value firstId_;
  int32_t revision_;
  uint32_t keyLength_;
  bool authorized_ = false;
  bool owner_ = false;
  bool encryptMetadata_ = true;
  PermsState perms_ = PermsState::kNotApplicable;
  int32_t permissions_ = 0;
  uint8_t fileKey_[kMaxCipherKeyLength] = {};
};

// R = 2 or 3: one RC4 object key for strings and streams.
class StandardDecrypter final : public Decrypter {
 public:
  StandardDecrypter(Arena& arena, AppContext& context, const StandardSecurityHandler& handler,
                    int32_t objectNumber, int32_t generation);
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

// R >= 4: keys chosen by crypt filters ("StmF", "StrF", a "Crypt" entry's
// "Name"), looked up when first needed; RC4 or AES.
class StandardV4Decrypter final : public Decrypter {
 public:
  StandardV4Decrypter(Arena& arena, StandardSecurityHandler& handler, int32_t objectNumber, int32_t generation);
  void ApplyCryptFilter(data_io::DataBlockStream*& out, data_io::DataBlockStream* source,
                        const store::Value& decodeParms) override;
  Rc4State* CreateStringCipher(Arena& arena) override;
  const CipherKey* GetStreamKey() override;
  const CipherKey* GetStringKey() override;
  bool EncryptsMetadata() const override { return handler_.EncryptsMetadata(); }

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
