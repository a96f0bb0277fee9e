// Platform-neutral result and exception objects. A CReturnValueObj carries a
// code, a category that says which layer the code belongs to, and a text; a
// CException adds where it was raised, so that a log line can name the check
// that failed.
#ifndef PORTELLE_DBCLIENT_OSEXCEPTION_H_
#define PORTELLE_DBCLIENT_OSEXCEPTION_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace OS {

class CReturnValueObj {
 public:
  CReturnValueObj() = default;
  CReturnValueObj(int32_t code, int32_t category, std::u16string_view text)
      : m_nCode(code), m_nCategory(category), m_wstrText(text) {}
  virtual ~CReturnValueObj();

  virtual void SetCode(int32_t code) { m_nCode = code; }
  virtual void SetCategory(int32_t category) { m_nCategory = category; }
  virtual void SetText(std::u16string_view text) { m_wstrText = text; }
  virtual int32_t GetCode() const { return m_nCode; }
  virtual int32_t GetCategory() const { return m_nCategory; }
  virtual const std::u16string& GetText() const { return m_wstrText; }

 private:
  int32_t m_nCode = 0;
  int32_t m_nCategory = 0;
  std::u16string m_wstrText;
};

class CException : public CReturnValueObj {
 public:
  CException() = default;
  CException(int32_t code, int32_t category, std::u16string_view text,
             std::u16string_view sourceFile, int32_t line)
      : CReturnValueObj(code, category, text), m_wstrSourceFile(sourceFile), m_nLine(line) {}

  const std::u16string& GetSourceFile() const { return m_wstrSourceFile; }
  int32_t GetLine() const { return m_nLine; }

  // The text alone when no source file is recorded, else
  // "text, (code), [source file|line]".
  virtual std::u16string GetFullDescription() const;

 private:
  std::u16string m_wstrSourceFile;
  int32_t m_nLine = 0;
};

}  // namespace OS

#endif  // PORTELLE_DBCLIENT_OSEXCEPTION_H_
