// The tool's failure phrases and their Chinese. The batch run and the
// platform layer word their reasons in English for the command line and its
// logs; the window is Chinese throughout, so it translates them here. The
// longer phrases come first where one phrase holds another.
#include "app/failure_reasons.h"

#include <QRegularExpression>

namespace codekiln {

namespace {

struct Phrase {
    const char* pattern;  ///< a regular expression over the English reason
    const char* chinese;  ///< its Chinese, \1 for the captured number or name
};

const Phrase kPhrases[] = {
    {"; not formatted, as it has no backup copy", "；没有备份副本，因此未格式化"},
    {"; not formatted", "；未格式化"},
    {"a character constant on line (\\d+) is changed or missing after formatting",
     "第\\1行的字符常量在格式化后改变或丢失"},
    {"a character constant on line (\\d+) is missing after formatting", "第\\1行的字符常量在格式化后丢失"},
    {"formatting added a character constant at output line (\\d+)", "格式化在输出的第\\1行多出了字符常量"},
    {"formatting added text at output line (\\d+)", "格式化在输出的第\\1行多出了文字"},
    {"line (\\d+) is changed or missing after formatting", "第\\1行在格式化后改变或丢失"},
    {"the text cannot be written in the system code page", "文本无法用系统代码页写出"},
    {"the text cannot be written in (\\S+)", "文本无法用 \\1 编码写出"},
    {"neither UTF-8 nor system code page text", "既不是 UTF-8 也不是系统代码页文本"},
    {"neither UTF-8 nor (\\S+) text", "既不是 UTF-8 也不是 \\1 文本"},
    {"not valid the system code page text", "不是有效的系统代码页文本"},
    {"not valid (\\S+) text", "不是有效的 \\1 文本"},
    {"no decoder for the system code page", "没有系统代码页的解码器"},
    {"no encoder for the system code page", "没有系统代码页的编码器"},
    {"no decoder for (.+)$", "没有 \\1 的解码器"},
    {"no encoder for (.+)$", "没有 \\1 的编码器"},
    {"the file is read-only", "文件为只读"},
    {"file not found", "文件不存在"},
    {"folder not found", "文件夹不存在"},
    {"folder cannot be read", "文件夹无法读取"},
    {"not a folder", "不是文件夹"},
    {"cannot create folder", "无法创建文件夹"},
    {"cannot store the setting (\\S+)", "无法保存设置 \\1"},
    {"cannot write", "无法写入"},
    {"cannot read", "无法读取"},
};

}  // namespace

QString chineseReasons(QString reasons) {
    for (const Phrase& phrase : kPhrases) {
        const QRegularExpression english(QString::fromUtf8(phrase.pattern),
                                         QRegularExpression::MultilineOption);
        reasons.replace(english, QString::fromUtf8(phrase.chinese));
    }
    return reasons;
}

}  // namespace codekiln
