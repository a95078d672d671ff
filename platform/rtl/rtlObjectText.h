#pragma once
// The text form of object streams and its conversions to and from the
// binary form. Numbers always use "."; the conversions never consult the
// user's format settings.
//
// Layout, two spaces per level, lines ending in CR LF:
//
//   object Report1: TReport          (inherited/inline for those flags;
//     Caption = 'It''s'#13#10'ok'       " [n]" after the class for a
//     Font.Style = [fsBold, fsItalic]   child position; no "Name: "
//     Ratio = 1.5                       for an unnamed component)
//     Big = 1e+20
//     Single = 0.25s                 (Single, Currency and date values
//     Price = 12.5c                   carry a suffix)
//     Lines = (
//       'first'
//       'second')
//     Columns = <
//       item
//         Width = 10
//       end>
//     Data = {
//       0A0B0C}                      (32 bytes a line)
//     object Band1: TBand
//     end
//   end
//
// A string longer than 64 bytes is cut into pieces of at most 64 bytes
// (never inside a UTF-8 sequence) joined by " +" at line ends. Control
// characters are written as #n, other bytes as they are. Floats take the
// shortest text that reads back to the same value. Text written this way
// converts to binary and back to the same bytes.

#include "rtlStreams.h"

// Converts the object at the binary stream's position (from its
// signature). EReadError for a damaged stream, also for floats without a
// text form (infinities, NaN).
void ObjectBinaryToText(TStream& input, TStream& output);
// Converts the text from the input's position; EParserError
// "<reason> on line <n>" for text that is no object.
void ObjectTextToBinary(TStream& input, TStream& output);
