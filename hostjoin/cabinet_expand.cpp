#include "cabinet_expand.h"

#include <mspack.h>
#include <sys/stat.h>

#include <memory>

namespace hostjoin {
namespace {

const char* mspack_error_text(int error) {
  switch (error) {
    case MSPACK_ERR_OPEN: return "it cannot be opened";
    case MSPACK_ERR_READ: return "it cannot be read";
    case MSPACK_ERR_WRITE: return "the expanded file cannot be written";
    case MSPACK_ERR_SEEK: return "a seek failed";
    case MSPACK_ERR_NOMEMORY: return "out of memory";
    case MSPACK_ERR_SIGNATURE: return "it is not a cabinet";
    case MSPACK_ERR_DATAFORMAT: return "its structure is damaged";
    case MSPACK_ERR_CHECKSUM: return "a data block fails its checksum";
    case MSPACK_ERR_DECRUNCH: return "its compressed data are damaged";
    default: return "libmspack reports an error";
  }
}

struct DecompressorDeleter {
  void operator()(mscab_decompressor* cabd) const { mspack_destroy_cab_decompressor(cabd); }
};

// An open cabinet, closed through its decompressor at the end of its scope.
class OpenCabinet {
 public:
  OpenCabinet(mscab_decompressor* cabd, const char* path) : cabd_(cabd), cab_(cabd->open(cabd, path)) {}
  ~OpenCabinet() {
    if (cab_ != nullptr) cabd_->close(cabd_, cab_);
  }
  OpenCabinet(const OpenCabinet&) = delete;
  OpenCabinet& operator=(const OpenCabinet&) = delete;
  mscabd_cabinet* get() const { return cab_; }

 private:
  mscab_decompressor* cabd_;
  mscabd_cabinet* cab_;
};

}  // namespace

bool expand_member(const std::string& cabinet, const std::string& name,
                   const std::string& out_path, std::string& why) {
  int self_test = MSPACK_ERR_OK;
  MSPACK_SYS_SELFTEST(self_test);
  if (self_test != MSPACK_ERR_OK) {
    why = "libmspack was built for another system";
    return false;
  }
  std::unique_ptr<mscab_decompressor, DecompressorDeleter> cabd(mspack_create_cab_decompressor(nullptr));
  if (!cabd) {
    why = "out of memory";
    return false;
  }
  OpenCabinet cab(cabd.get(), cabinet.c_str());
  if (cab.get() == nullptr) {
    why = mspack_error_text(cabd->last_error(cabd.get()));
    return false;
  }
  // Stored names are compared byte for byte; a name with a path or of
  // another spelling is simply not the file the set carries.
  const mscabd_file* member = nullptr;
  for (const mscabd_file* file = cab.get()->files; file != nullptr && member == nullptr; file = file->next)
    if (file->filename != nullptr && name == file->filename) member = file;
  if (member == nullptr) {
    why = "it holds no file named " + name;
    return false;
  }
  int result = cabd->extract(cabd.get(), const_cast<mscabd_file*>(member), out_path.c_str());
  if (result != MSPACK_ERR_OK) {
    why = mspack_error_text(result);
    return false;
  }
  struct stat st;
  if (stat(out_path.c_str(), &st) != 0 || static_cast<unsigned long long>(st.st_size) != member->length) {
    why = "the expanded file does not have the length the cabinet gives";
    return false;
  }
  return true;
}

}  // namespace hostjoin
