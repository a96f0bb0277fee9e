// CCmdProtocol: a list of UTF-16 tokens separated by a delimiter (one TAB by
// default), with numbers as decimal text and no escaping, quoting or length
// prefix. It is the text form of the commands to and replies from the
// database service, of every scan-configuration string and of every log
// record, so its layout is shared with those peers and stored packages.
//
// A stream is the text plus a read cursor. Writers append tokens; readers take
// tokens from the cursor onwards. Appending never moves the cursor.
//
//   CCmdProtocol cmd;
//   cmd.AppendToken(u"DB_EXPORT").AppendInt(txn).AppendToken(uid).AppendDword(0);
//
//   CCmdProtocol reply(reply_bytes);  // UTF-16LE bytes
//   reply.ReadDword(type).NextToken(name);
//
// No operation reports an error: reading past the end yields empty tokens
// (and 0 from the numeric reads) for ever, and the cursor never passes the end
// of the text. A token that contains a delimiter character cannot be carried;
// writers do not check for one.
#ifndef PORTELLE_DBCLIENT_CMDPROTOCOL_H_
#define PORTELLE_DBCLIENT_CMDPROTOCOL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class CCmdProtocol {
 public:
  // Length argument of the text constructor meaning "NUL-terminated".
  static constexpr uint32_t kNulTerminated = 0xFFFFFFFFu;

  // An empty stream with room for 1024 characters.
  CCmdProtocol();

  // A stream over a copy of existing text. `length` is kNulTerminated for a
  // NUL-terminated text, otherwise a length in BYTES (replies arrive as byte
  // buffers), halved and rounded down to give the character count; those
  // characters are taken as they are, NULs included, and a text given by its
  // byte length need not be aligned for char16_t. A null `text` is an empty
  // text.
  CCmdProtocol(const char16_t* text, uint32_t length);

  // A stream over a copy of `text`.
  explicit CCmdProtocol(std::u16string_view text);

  // A stream over the text held by UTF-16LE bytes (a reply, a stored
  // configuration string): every whole unit, NULs included.
  explicit CCmdProtocol(std::string_view utf16le_bytes);

  // Copies carry the delimiter, text, cursor and first-token state.
  CCmdProtocol(const CCmdProtocol&) = default;
  CCmdProtocol& operator=(const CCmdProtocol&) = default;
  virtual ~CCmdProtocol();

  // The text, NUL-terminated, valid until the stream next changes.
  const char16_t* GetString() const { return m_wstrText.c_str(); }
  // Length of the text in characters, without the terminating NUL.
  size_t GetLength() const { return m_wstrText.size(); }

  // Written whole between two appended tokens; on reading, each of its
  // characters separates tokens and exactly one is consumed per token, so with
  // "\t\n" a TAB followed by a LF encloses an empty token. An empty delimiter
  // makes the rest of the text one token.
  void SetDelimiter(std::u16string_view delimiter) { m_wstrDelimiter = delimiter; }

  // Appends one token, preceded by the delimiter unless it is the first token
  // of the stream. `length` is in characters; a negative length means
  // NUL-terminated. A null `token` appends an empty token.
  CCmdProtocol& AppendToken(const char16_t* token, int length = -1);
  CCmdProtocol& AppendToken(std::u16string_view token);

  // Decimal text: a '-' for negative values, no plus sign, blanks or leading
  // zeros. A word is widened without sign (0 to 65535).
  CCmdProtocol& AppendInt(int32_t value);
  CCmdProtocol& AppendWord(uint16_t value);
  CCmdProtocol& AppendDword(uint32_t value);

  // The next token, possibly empty.
  CCmdProtocol& NextToken(std::u16string& token);

  // The next token into `buffer` of `capacity` characters: at most
  // capacity - 1 characters are copied and a NUL follows them; the rest of a
  // longer token is lost, but the cursor passes the whole token. A capacity of
  // 0 or a null buffer writes nothing.
  CCmdProtocol& NextToken(char16_t* buffer, size_t capacity);

  // Numeric reads use only the first 19 characters of the token (white space
  // and sign included) and give 0 for an empty or non-numeric token.
  //   ReadWord  - signed 32-bit conversion saturating at the int32 bounds,
  //               then the low 16 bits (70000 gives 4464);
  //   ReadDword - unsigned 32-bit conversion: "-" negates modulo 2^32 and a
  //               value above 4294967295 gives 4294967295;
  //   ReadInt   - signed 64-bit conversion saturating at the int64 bounds,
  //               then the low 32 bits (4294967296 gives 0).
  CCmdProtocol& ReadWord(uint16_t& value);
  CCmdProtocol& ReadDword(uint32_t& value);
  CCmdProtocol& ReadInt(int32_t& value);

  // Passes over `count` tokens; a count below 1 does nothing.
  CCmdProtocol& SkipTokens(int count);

 private:
  // Takes the next token and moves the cursor past it and its separator. The
  // view is valid until the text next changes.
  std::u16string_view TakeToken();
  // The first characters of the next token that a numeric read looks at.
  std::u16string_view TakeNumber();

  std::u16string m_wstrDelimiter;
  std::u16string m_wstrText;
  size_t m_nCursor = 0;       // in characters, never above m_wstrText.size()
  bool m_bFirstToken = true;  // no delimiter is due before the next token
};

#endif  // PORTELLE_DBCLIENT_CMDPROTOCOL_H_
