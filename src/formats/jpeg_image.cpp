// JPEG over libjpeg(-turbo). The compressed bytes are kept; only the header is read at load time,
// and the picture is decoded at the chosen scale when a bitmap is asked for.
//
// libjpeg reports fatal errors by calling error_exit, which must not return. We longjmp out of
// it, but only inside the small shim functions below: their frames hold nothing with a
// destructor, so the jump skips no C++ cleanup. The C++ side then throws EInvalidGraphic with
// libjpeg's own message.
//
// Warnings ("Corrupt JPEG data", "Premature end of JPEG file") do not stop the decode: a
// truncated file (a download cut short) or one with a damaged stretch of coded data shows as much
// of the picture as libjpeg recovers, as djpeg does, and stray bytes between markers are skipped.
//
// Decoding work is bounded: a progress monitor counts the coefficient blocks every scan visits
// and stops a file that asks for more than any real photograph within the pixel limit needs.
#include "formats/jpeg_image.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "base/errors.h"
#include "formats/exif_orientation.h"
#include "formats/load_cancel.h"

#include <jerror.h>
#include <jpeglib.h>

namespace quendra {

static std::unique_ptr<TGraphic> NewTJPEGImage() {
  return std::make_unique<TJPEGImage>();
}
const GraphicClass TJPEGImage::kClass{"TJPEGImage", &kTGraphicClass, &NewTJPEGImage};

// Where the compressed bytes come from: memory, or an open file read as decoding goes.
struct JpegSource {
  const uint8_t* data = nullptr;
  size_t size = 0;
  FILE* file = nullptr;
};

namespace {

// Progressive files can ask for an unbounded number of scans over the same coefficients; a
// file with this many is hostile, not a photograph.
constexpr int kMaxScans = 1000;
// Coefficient blocks visited by all scans together: about 30 full scans of the largest picture
// the pixel limit admits (4:2:0), a second or two of work here even for empty scans, while real
// progressive files use about ten.
constexpr int64_t kMaxBlockVisits = int64_t(200) << 20;
// libjpeg's own working memory (the whole-image coefficient buffer of progressive files).
constexpr long kMaxLibjpegMemory = 1L << 30;

struct ErrorMgr {
  jpeg_error_mgr pub;  // first member: libjpeg sees only this part
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  bool cancelled;
  bool ranOut;       // the data ended before the picture did
  bool ranOutEarly;  // ... within the first row of blocks of the first scan
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorMgr*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

// Warnings are counted and trace messages dropped; nothing goes to stderr. Where the data ran
// out is noted.
void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  ++cinfo->err->num_warnings;
  auto* err = reinterpret_cast<ErrorMgr*>(cinfo->err);
  if (cinfo->err->msg_code != JWRN_JPEG_EOF || err->ranOut || !cinfo->is_decompressor) return;
  const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  err->ranOut = true;
  err->ranOutEarly = d->input_scan_number <= 1 && d->input_iMCU_row == 0;
}
void OutputMessage(j_common_ptr) {}

// The progress monitor: libjpeg calls it as it consumes input, at least once an iMCU row, and
// at every band of output rows: the place to stop a decode that is no longer wanted, as well
// as one that would never end.
struct WorkMonitor {
  jpeg_progress_mgr pub;  // first member: libjpeg sees only this part
  int lastScan = 0;
  JDIMENSION lastRow = 0;
  int64_t visits = 0;
};

[[noreturn]] void Abort(j_common_ptr cinfo, const char* what) {
  auto* err = reinterpret_cast<ErrorMgr*>(cinfo->err);
  std::snprintf(err->message, sizeof err->message, "%s", what);
  std::longjmp(err->jump, 1);
}

void LimitWork(j_common_ptr cinfo) {
  if (LoadCancelled()) {
    reinterpret_cast<ErrorMgr*>(cinfo->err)->cancelled = true;
    std::longjmp(reinterpret_cast<ErrorMgr*>(cinfo->err)->jump, 1);
  }
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (!d->comp_info) return;
  auto* m = reinterpret_cast<WorkMonitor*>(cinfo->progress);
  if (d->input_scan_number > kMaxScans) Abort(cinfo, "Too many progressive scans");
  // iMCU rows consumed since the last call, each costing the blocks of one row of every
  // component (a slight overestimate for scans of a single component).
  JDIMENSION rows =
      d->input_scan_number == m->lastScan ? d->input_iMCU_row - m->lastRow : d->input_iMCU_row;
  m->lastScan = d->input_scan_number;
  m->lastRow = d->input_iMCU_row;
  int64_t blocksPerRow = 0;
  for (int c = 0; c < d->num_components; ++c)
    blocksPerRow += int64_t(d->comp_info[c].width_in_blocks) * d->comp_info[c].v_samp_factor;
  m->visits += int64_t(rows) * blocksPerRow;
  if (m->visits > kMaxBlockVisits) Abort(cinfo, "JPEG decoding needs too much work");
}

void InitErrors(ErrorMgr& err) {
  jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
  err.message[0] = 0;
  err.cancelled = false;
  err.ranOut = err.ranOutEarly = false;
}

[[noreturn]] void Fail(const ErrorMgr& err) {
  if (err.cancelled) throw ELoadCancelled();
  throw EInvalidGraphic(err.message);
}

// Owns a decompressor; destroying it never fails.
struct Decompressor {
  ErrorMgr err;
  jpeg_decompress_struct cinfo;
  WorkMonitor progress;
  bool created = false;
  ~Decompressor() {
    if (created) jpeg_destroy_decompress(&cinfo);
  }
};

// --- shim: every libjpeg call that may fail happens below, under setjmp ---------------------

bool ShimReadHeader(Decompressor* d, const JpegSource& src, int scaleDenom, bool metadata = false) {
  if (setjmp(d->err.jump)) return false;
  jpeg_create_decompress(&d->cinfo);
  d->created = true;
  d->cinfo.mem->max_memory_to_use = kMaxLibjpegMemory;
  d->progress.pub.progress_monitor = LimitWork;
  d->cinfo.progress = &d->progress.pub;
  if (src.file)
    jpeg_stdio_src(&d->cinfo, src.file);
  else
    jpeg_mem_src(&d->cinfo, src.data, static_cast<unsigned long>(src.size));
  if (metadata) {
    jpeg_save_markers(&d->cinfo, JPEG_APP0 + 1, 0xFFFF);  // Exif
    jpeg_save_markers(&d->cinfo, JPEG_APP0 + 2, 0xFFFF);  // ICC_PROFILE, in pieces
  }
  jpeg_read_header(&d->cinfo, TRUE);
  const bool cmyk = d->cinfo.jpeg_color_space == JCS_CMYK || d->cinfo.jpeg_color_space == JCS_YCCK;
  d->cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  d->cinfo.scale_num = 1;
  d->cinfo.scale_denom = static_cast<unsigned>(scaleDenom);
  jpeg_calc_output_dimensions(&d->cinfo);
  return true;
}

bool ShimReadIccProfile(Decompressor* d, JOCTET** icc, unsigned int* length) {
  if (setjmp(d->err.jump)) return false;
  return jpeg_read_icc_profile(&d->cinfo, icc, length) != 0;
}

using RowSink = void (*)(void* ctx, const uint8_t* row, int y);

// Decodes every scanline. With a sink, rows go through `scratch` and the sink; without one they
// land straight in `rows`.
//
// Once its data has run out, an arithmetic-coded file (which, unlike a Huffman-coded one, has no
// smallest size for the picture it claims) would go on decoding nothing into every remaining
// row, at full cost: a single-scan file stops there and the rest of `rows` stays as allocated, so
// a file cut short costs what it holds. One whose data ends within its first row of blocks holds
// no picture and fails.
bool ShimDecode(Decompressor* d, uint8_t** rows, uint8_t* scratch, RowSink sink, void* ctx) {
  if (setjmp(d->err.jump)) return false;
  jpeg_start_decompress(&d->cinfo);
  // A file of several scans (progressive ones) has read them all by now, however short: its
  // rows are what its data made, and cost no more decoding.
  const bool decodingAsRead = !jpeg_has_multiple_scans(&d->cinfo);
  while (d->cinfo.output_scanline < d->cinfo.output_height) {
    if (d->err.ranOut && d->cinfo.arith_code && d->err.ranOutEarly)
      Abort(reinterpret_cast<j_common_ptr>(&d->cinfo),
            "JPEG data ends within the picture's first row");
    if (d->err.ranOut && d->cinfo.arith_code && decodingAsRead) {
      // A sink takes the rest as zeros: the same black the untouched canvas shows.
      if (sink) {
        std::memset(scratch, 0, size_t(d->cinfo.output_width) * d->cinfo.output_components);
        for (JDIMENSION y = d->cinfo.output_scanline; y < d->cinfo.output_height; ++y)
          sink(ctx, scratch, int(y));
      }
      jpeg_abort_decompress(&d->cinfo);
      return true;
    }
    const int y = static_cast<int>(d->cinfo.output_scanline);
    if (sink) {
      JSAMPROW r = scratch;
      jpeg_read_scanlines(&d->cinfo, &r, 1);
      sink(ctx, scratch, y);
    } else {
      jpeg_read_scanlines(&d->cinfo, rows + y, d->cinfo.output_height - d->cinfo.output_scanline);
    }
  }
  jpeg_finish_decompress(&d->cinfo);
  return true;
}

// ---------------------------------------------------------------------------------------------

int Denominator(JpegScale s) {
  return 1 << static_cast<int>(s);
}

struct CmykSink {
  Bitmap* out;
  bool inverted;  // Adobe files store inverted ink values
};

// CMYK (and YCCK, which libjpeg turns into CMYK) to blue, green, red.
void CmykToBgr(const uint8_t* src, uint8_t* o, int w, bool inverted) {
  for (int x = 0; x < w; ++x, src += 4, o += 3) {
    unsigned c = src[0], m = src[1], ye = src[2], k = src[3];
    if (!inverted) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
    o[0] = uint8_t((ye * k + 127) / 255);
    o[1] = uint8_t((m * k + 127) / 255);
    o[2] = uint8_t((c * k + 127) / 255);
  }
}

void CmykRow(void* ctx, const uint8_t* src, int y) {
  auto* s = static_cast<CmykSink*>(ctx);
  CmykToBgr(src, s->out->Row(y), s->out->Width(), s->inverted);
}

// Hands each decoded row, as blue, green, red, to a caller's function.
struct ForwardSink {
  const TJPEGImage::RowFunction* fn;
  bool cmyk, inverted;
  int width;
  std::vector<uint8_t> bgr;
};

void ForwardRow(void* ctx, const uint8_t* src, int y) {
  auto* s = static_cast<ForwardSink*>(ctx);
  if (s->cmyk) {
    CmykToBgr(src, s->bgr.data(), s->width, s->inverted);
    src = s->bgr.data();
  }
  (*s->fn)(src, y);
}

}  // namespace

namespace {
// libjpeg asks for 4 KB at a time; the stream reads ahead in larger pieces, a sixteenth of the
// calls, into a buffer of its own that goes with it.
constexpr size_t kReadAhead = size_t(64) << 10;
struct CloseFile {
  void* buffer = nullptr;
  void operator()(FILE* f) const {
    std::fclose(f);
    std::free(buffer);
  }
};
using File = std::unique_ptr<FILE, CloseFile>;

File OpenJpeg(const std::string& path) {
  const int fd = OpenRegularFile(path);
  File file(::fdopen(fd, "rb"), CloseFile{std::malloc(kReadAhead)});
  if (!file) {
    const int error = errno;
    ::close(fd);
    std::free(file.get_deleter().buffer);
    throw EFileError("Cannot open file \"" + path + "\". " + std::strerror(error));
  }
  if (file.get_deleter().buffer)
    std::setvbuf(file.get(), static_cast<char*>(file.get_deleter().buffer), _IOFBF, kReadAhead);
  return file;
}
}  // namespace

void TJPEGImage::LoadFromFile(const std::string& path) {
  File file = OpenJpeg(path);
  ReadHeader(JpegSource{nullptr, 0, file.get()});
  data_ = PixelBuffer();
  path_ = path;
}

void TJPEGImage::LoadFromMemory(std::span<const uint8_t> data) {
  ReadHeader(JpegSource{data.data(), data.size(), nullptr});
  data_.assign(data.begin(), data.end());
  path_.clear();
}

void TJPEGImage::ReadHeader(const JpegSource& src) {
  Decompressor d;
  InitErrors(d.err);
  d.cinfo.err = &d.err.pub;
  if (!ShimReadHeader(&d, src, 1, true)) Fail(d.err);
  width_ = static_cast<int>(d.cinfo.image_width);
  height_ = static_cast<int>(d.cinfo.image_height);
  scale_ = JpegScale::jsFullSize;
  metadata_ = PictureMetadata();
  for (jpeg_saved_marker_ptr m = d.cinfo.marker_list; m != nullptr; m = m->next)
    if (m->marker == JPEG_APP0 + 1 && m->data_length > 6 &&
        std::memcmp(m->data, "Exif\0\0", 6) == 0) {
      metadata_.orientation = ExifOrientation({m->data, m->data_length});
      break;
    }
  // libjpeg joins the pieces and checks their numbering; a broken set is no profile.
  JOCTET* icc = nullptr;
  unsigned int iccLength = 0;
  if (ShimReadIccProfile(&d, &icc, &iccLength) && icc != nullptr) {
    metadata_.colour.icc.assign(icc, icc + iccLength);
  }
  metadata_.colour.grey = d.cinfo.jpeg_color_space == JCS_GRAYSCALE;
  std::free(icc);
}

// Whether the entropy-coded data libjpeg is about to read runs to the end of the bytes without a
// marker after it: within such data 0xFF is followed only by a stuffed zero, a restart marker
// or more 0xFF fill.
static bool EndsWithinScan(const jpeg_decompress_struct& cinfo, const JpegSource& src) {
  bool afterFF = false;
  auto holdsMarker = [&afterFF](const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; afterFF = p[i++] == 0xFF)
      if (afterFF && p[i] != 0 && p[i] != 0xFF && (p[i] < 0xD0 || p[i] > 0xD7)) return true;
    return false;
  };
  const uint8_t* next = cinfo.src->next_input_byte;
  const size_t buffered = cinfo.src->bytes_in_buffer;
  if (!src.file) return !holdsMarker(next, src.size - size_t(next - src.data));
  // The stdio source has read ahead; the rest is read here without moving the stream.
  const long position = std::ftell(src.file);
  if (position < 0 || size_t(position) < buffered) return false;
  off_t at = off_t(size_t(position) - buffered);
  uint8_t chunk[1 << 14];
  for (;;) {
    const ssize_t n = ::pread(fileno(src.file), chunk, sizeof chunk, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n == 0;  // a read error: let the decoder meet it
    if (holdsMarker(chunk, size_t(n))) return false;
    at += n;
  }
}

// Opens the picture's bytes (the file again, or the copy in memory) and reads the header at the
// scale asked for; the output size is checked against the pixel limit.
static void StartDecode(const PixelBuffer& data, const std::string& path, JpegScale scale,
                        Decompressor& d, File& file) {
  if (data.empty() && path.empty()) throw EInvalidGraphic("No JPEG picture loaded");
  if (!path.empty()) file = OpenJpeg(path);
  const JpegSource src{data.data(), data.size(), file.get()};
  InitErrors(d.err);
  d.cinfo.err = &d.err.pub;
  if (!ShimReadHeader(&d, src, Denominator(scale))) Fail(d.err);
  CheckDimensions(d.cinfo.output_width, d.cinfo.output_height);
  // With Huffman coding every block of every component costs at least one bit (its first DC
  // code): a file smaller than that cannot fill the picture it claims, and decoding it would
  // only paint the whole canvas grey. A file cut short still shows as long as it holds a bit a
  // block. Arithmetic coding has no such floor.
  if (d.cinfo.arith_code) {
    // A progressive file holds its whole picture's coefficients at once, in libjpeg's buffer
    // (two bytes a sample), before any row comes out: one that ends within its first scan holds
    // not even that scan, and fails before the buffer is made.
    if (d.cinfo.progressive_mode && EndsWithinScan(d.cinfo, src))
      throw EInvalidGraphic("JPEG data ends within the picture's first scan");
    return;
  }
  uint64_t blocks = 0;
  for (int c = 0; c < d.cinfo.num_components; ++c)
    blocks +=
        uint64_t(d.cinfo.comp_info[c].width_in_blocks) * d.cinfo.comp_info[c].height_in_blocks;
  struct stat st {};
  const uint64_t bytes = file ? (::fstat(fileno(file.get()), &st) == 0 ? uint64_t(st.st_size) : 0)
                              : uint64_t(data.size());
  if (bytes * 8 < blocks)
    throw EInvalidGraphic("JPEG data is too short to fill its " +
                          std::to_string(d.cinfo.image_width) + " x " +
                          std::to_string(d.cinfo.image_height) + " picture");
}

void TJPEGImage::DecodeRows(const std::function<void(int, int)>& begin,
                            const RowFunction& row) const {
  File file;
  Decompressor d;
  StartDecode(data_, path_, scale_, d, file);
  const int w = static_cast<int>(d.cinfo.output_width), h = static_cast<int>(d.cinfo.output_height);
  begin(w, h);
  const bool cmyk = d.cinfo.out_color_space == JCS_CMYK;
  ForwardSink sink{&row, cmyk, d.cinfo.saw_Adobe_marker != 0, w,
                   std::vector<uint8_t>(cmyk ? size_t(w) * 3 : 0)};
  std::vector<uint8_t> scratch(size_t(w) * (cmyk ? 4 : 3));
  if (!ShimDecode(&d, nullptr, scratch.data(), ForwardRow, &sink)) Fail(d.err);
}

void TJPEGImage::AssignTo(Bitmap& dst) const {
  File file;
  Decompressor d;
  StartDecode(data_, path_, scale_, d, file);
  const int w = static_cast<int>(d.cinfo.output_width), h = static_cast<int>(d.cinfo.output_height);
  Bitmap out;
  out.Allocate(w, h, PixelFormat::pf24bit);  // the decoder writes every row
  bool ok;
  if (d.cinfo.out_color_space == JCS_CMYK) {
    std::vector<uint8_t> scratch(size_t(w) * 4);
    CmykSink sink{&out, d.cinfo.saw_Adobe_marker != 0};
    ok = ShimDecode(&d, nullptr, scratch.data(), CmykRow, &sink);
  } else {
    std::vector<uint8_t*> rows(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) rows[size_t(y)] = out.Row(y);
    ok = ShimDecode(&d, rows.data(), nullptr, nullptr, nullptr);
  }
  if (!ok) Fail(d.err);
  dst = std::move(out);
}

static int Div(int v, JpegScale s) {
  int d = Denominator(s);
  return (v + d - 1) / d;
}
int TJPEGImage::ScaledWidth() const {
  return Div(width_, scale_);
}
int TJPEGImage::ScaledHeight() const {
  return Div(height_, scale_);
}

void TJPEGImage::SetScale(JpegScale s) {
  if (s == scale_) return;
  scale_ = s;
  Changed();
}

// --- writer ----------------------------------------------------------------------------------

namespace {

struct Compressor {
  ErrorMgr err;
  jpeg_compress_struct cinfo;
  unsigned char* buffer = nullptr;  // allocated by libjpeg's memory destination
  unsigned long size = 0;
  bool created = false;
  ~Compressor() {
    if (created) jpeg_destroy_compress(&cinfo);
    std::free(buffer);
  }
};

using RowSource = const uint8_t* (*)(void* ctx, int y);

bool ShimEncode(Compressor* c, int w, int h, J_COLOR_SPACE in, int components, int quality,
                RowSource src, void* ctx) {
  if (setjmp(c->err.jump)) return false;
  jpeg_create_compress(&c->cinfo);
  c->created = true;
  jpeg_mem_dest(&c->cinfo, &c->buffer, &c->size);
  c->cinfo.image_width = static_cast<JDIMENSION>(w);
  c->cinfo.image_height = static_cast<JDIMENSION>(h);
  c->cinfo.input_components = components;
  c->cinfo.in_color_space = in;
  jpeg_set_defaults(&c->cinfo);
  jpeg_set_quality(&c->cinfo, quality, TRUE);
  jpeg_start_compress(&c->cinfo, TRUE);
  while (c->cinfo.next_scanline < c->cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(src(ctx, static_cast<int>(c->cinfo.next_scanline)));
    jpeg_write_scanlines(&c->cinfo, &row, 1);
  }
  jpeg_finish_compress(&c->cinfo);
  return true;
}

struct EncodeSource {
  const Bitmap* bmp;
  uint8_t* scratch;  // null when rows are passed as they are
};

const uint8_t* NextRow(void* ctx, int y) {
  auto* s = static_cast<EncodeSource*>(ctx);
  if (!s->scratch) return s->bmp->Row(y);
  ExpandRowTo32(*s->bmp, y, s->scratch);
  return s->scratch;
}

}  // namespace

std::vector<uint8_t> EncodeJpeg(const Bitmap& bmp, int quality) {
  if (bmp.Empty()) throw EInvalidGraphic("Cannot save an empty picture as JPEG");
  if (bmp.Width() > JPEG_MAX_DIMENSION || bmp.Height() > JPEG_MAX_DIMENSION)
    throw EInvalidGraphic("Picture too large for JPEG");
  quality = quality < 1 ? 1 : quality > 100 ? 100 : quality;
  Compressor c;
  InitErrors(c.err);
  c.cinfo.err = &c.err.pub;
  std::vector<uint8_t> scratch;
  EncodeSource src{&bmp, nullptr};
  J_COLOR_SPACE in = JCS_EXT_BGRX;
  int components = 4;
  if (bmp.Format() == PixelFormat::pf24bit) {
    in = JCS_EXT_BGR;
    components = 3;
  } else if (bmp.Format() != PixelFormat::pf32bit) {
    scratch.resize(size_t(bmp.Width()) * 4);
    src.scratch = scratch.data();
  }
  if (!ShimEncode(&c, bmp.Width(), bmp.Height(), in, components, quality, NextRow, &src))
    throw EInvalidGraphic(c.err.message);
  return std::vector<uint8_t>(c.buffer, c.buffer + c.size);
}

namespace {
constexpr std::string_view kJpegExtensions[] = {"jpeg", "jpg"};
constexpr std::string_view kJpegListed[] = {".jpg", ".jpeg"};
constexpr std::string_view kJpegAliases[] = {".jpeg"};
void SaveJpeg(const Bitmap& bmp, const ByteSink& sink) {
  std::vector<uint8_t> bytes = EncodeJpeg(bmp, 90);
  sink(bytes.data(), bytes.size());
}
const WriterRecord kJpegWriter{SaveFormat::Jpeg, ".jpg", kJpegAliases, &SaveJpeg};
}  // namespace

const FormatRecord kJpegFormat{
    &TJPEGImage::kClass, kJpegExtensions, "JPEG Image File", kJpegListed, true, &kJpegWriter};

}  // namespace quendra
