// Picture files through NSBitmapImageRep, handed on as 8-bit RGBA, top row first.
#import "platform/macos/Cocoa.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/PictureCache.h"
#include "platform/Pictures.h"
#include "platform/UserFile.h"
#include "platform/macos/CocoaPlatform.h"

using namespace ambrel;

namespace {

// The common layouts are copied row by row; any other goes through NSColor.
bool ToRgba(NSBitmapImageRep* rep, int width, int height, std::vector<uint8_t>* rgba) {
  rgba->assign(static_cast<size_t>(width) * height * 4, 255);
  const NSInteger samples = [rep samplesPerPixel];
  const bool plain8 = [rep bitsPerSample] == 8 && ![rep isPlanar] && [rep bitmapData] &&
                      !([rep bitmapFormat] & (NSBitmapFormatAlphaFirst | NSBitmapFormatFloatingPointSamples)) &&
                      [rep bitsPerPixel] == samples * 8;
  NSString* space = [rep colorSpaceName];
  const bool rgb = [space isEqualToString:NSDeviceRGBColorSpace] || [space isEqualToString:NSCalibratedRGBColorSpace];
  const bool white = [space isEqualToString:NSDeviceWhiteColorSpace] || [space isEqualToString:NSCalibratedWhiteColorSpace];
  if (plain8 && ((rgb && (samples == 3 || samples == 4)) || (white && (samples == 1 || samples == 2)))) {
    const unsigned char* data = [rep bitmapData];
    const NSInteger rowBytes = [rep bytesPerRow];
    for (int y = 0; y < height; ++y) {
      const unsigned char* in = data + y * rowBytes;
      uint8_t* out = rgba->data() + static_cast<size_t>(y) * width * 4;
      for (int x = 0; x < width; ++x, in += samples, out += 4) {
        if (rgb) {
          out[0] = in[0], out[1] = in[1], out[2] = in[2];
          if (samples == 4) out[3] = in[3];
        } else {
          out[0] = out[1] = out[2] = in[0];
          if (samples == 2) out[3] = in[1];
        }
      }
    }
    return true;
  }
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      NSColor* color = [[rep colorAtX:x y:y] colorUsingColorSpaceName:NSCalibratedRGBColorSpace];
      if (!color) return false;
      uint8_t* out = rgba->data() + (static_cast<size_t>(y) * width + x) * 4;
      out[0] = static_cast<uint8_t>([color redComponent] * 255 + 0.5);
      out[1] = static_cast<uint8_t>([color greenComponent] * 255 + 0.5);
      out[2] = static_cast<uint8_t>([color blueComponent] * 255 + 0.5);
      out[3] = static_cast<uint8_t>([color alphaComponent] * 255 + 0.5);
    }
  }
  return true;
}

// One decode, shared by the caller and the thread that runs it: a caller that stops
// waiting leaves the thread to finish into it alone.
struct DecodeJob {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  std::string bytes;
  PictureBitmap bitmap;
  bool read = false;
};

void Decode(DecodeJob& job) {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  PictureBitmap bitmap;
  bool read = false;
  NSData* data = [NSData dataWithBytes:job.bytes.data() length:job.bytes.size()];
  NSBitmapImageRep* rep = data ? [NSBitmapImageRep imageRepWithData:data] : nil;
  const NSInteger width = rep ? [rep pixelsWide] : 0, height = rep ? [rep pixelsHigh] : 0;
  if (width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
      static_cast<long long>(width) * height <= kMaxPicturePixels) {
    auto pixels = std::make_shared<std::vector<uint8_t>>();
    if (ToRgba(rep, static_cast<int>(width), static_cast<int>(height), pixels.get())) {
      bitmap.pixelsWide = static_cast<int>(width);
      bitmap.pixelsHigh = static_cast<int>(height);
      bitmap.bitsPerPixel = 32;
      bitmap.bytesPerRow = static_cast<int>(width) * 4;
      bitmap.bitmapData = pixels->data();
      bitmap.storage = pixels;
      read = true;
    }
  }
  [pool release];
  std::lock_guard<std::mutex> hold(job.lock);
  job.bitmap = bitmap;
  job.read = read;
  job.done = true;
  job.finished.notify_all();
}

}  // namespace

// The thread's target: NSThread gives the decoder the thread set-up AppKit expects.
// The job travels as a heap copy of its shared pointer (GCC runs no C++
// constructors for Objective-C fields).
@interface AmbrelPictureDecode : NSObject
- (void)run:(NSValue*)job;
@end

@implementation AmbrelPictureDecode
- (void)run:(NSValue*)job {
  auto* held = static_cast<std::shared_ptr<DecodeJob>*>([job pointerValue]);
  const std::shared_ptr<DecodeJob> mine = *held;
  delete held;
  Decode(*mine);
}
@end

namespace {

// NSBitmapImageRep cannot be stopped, nor can a thread: past the budget the view
// goes on without the picture and the thread finishes on its own.
DecodeOutcome DecodeWithinBudget(const char* path, PictureBitmap* bitmap, std::string* why) {
  auto job = std::make_shared<DecodeJob>();
  UserFileError error = UserFileError::kNone;
  if (!ReadUserFile(path, kMaxPictureFileBytes, &job->bytes, &error) || job->bytes.empty()) {
    *why = DescribeUserFileError(job->bytes.empty() && error == UserFileError::kNone ? UserFileError::kEmpty : error,
                                 kMaxPictureFileBytes);
    return DecodeOutcome::kRefused;
  }
  AmbrelPictureDecode* target = [[AmbrelPictureDecode alloc] init];
  [NSThread detachNewThreadSelector:@selector(run:)
                           toTarget:target
                         withObject:[NSValue valueWithPointer:new std::shared_ptr<DecodeJob>(job)]];
  [target release];
  std::unique_lock<std::mutex> hold(job->lock);
  if (!job->finished.wait_for(hold, std::chrono::duration<double>(kPictureDecodeSeconds), [&] { return job->done; })) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", kPictureDecodeSeconds);
    *why = std::string("takes more than ") + seconds + " seconds to decode";
    return DecodeOutcome::kRefused;
  }
  if (!job->read) {
    *why = "is not a picture NSBitmapImageRep can read, or is too large";
    return DecodeOutcome::kRefused;
  }
  *bitmap = job->bitmap;
  return DecodeOutcome::kDecoded;
}

}  // namespace

bool ambrel::ReadPictureWithCocoa(const char* path, PictureBitmap* bitmap, std::string* why) {
  return ReadPictureOnce(path, bitmap, why, DecodeWithinBudget);
}

std::string ambrel::CocoaPicturesFolder() {
  NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
  NSArray* folders = NSSearchPathForDirectoriesInDomains(NSPicturesDirectory, NSUserDomainMask, YES);
  std::string folder = [folders count] > 0 ? [[folders objectAtIndex:0] fileSystemRepresentation] : "";
  if (folder.empty()) folder = std::string([NSHomeDirectory() fileSystemRepresentation]) + "/Pictures";
  [pool release];
  return folder;
}
