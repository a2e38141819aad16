#include "text_file.h"

#include <QFile>
#include <QSaveFile>

namespace kovrad::manager {

bool WriteTextFile(const std::string& path, std::string_view content, std::string* problem) {
  QSaveFile file(QFile::decodeName(QByteArray::fromStdString(path)));
  const bool written = file.open(QIODevice::WriteOnly) &&
                       file.write(content.data(), static_cast<qint64>(content.size())) ==
                           static_cast<qint64>(content.size()) &&
                       file.commit();
  if (!written) {
    *problem =
        "Não foi possível gravar o arquivo " + path + ": " + file.errorString().toStdString();
  }
  return written;
}

}  // namespace kovrad::manager
