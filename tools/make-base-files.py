#!/usr/bin/env python3
"""Make the base files that the size-filled outputs repeat, and the two 3D models.

Usage: tools/make-base-files.py [OUTPUT_DIR]   (default: resources/ of this checkout)

Everything is made here from fixed content: the office documents are
hand-written OOXML parts, PNG, WAV, ZIP, RAR and USDZ are written with
Python's standard library, and ffmpeg and lame encode the JPEG, MP4 and MP3
from pixels and samples computed below. Zip dates, pixels and samples are
fixed, so a rerun with the same tool versions gives the same bytes.

Dev-time needs: python3, ffmpeg, lame. The build only uses the committed
outputs.
"""

import io
import math
import struct
import subprocess
import sys
import wave
import zipfile
import zlib
from pathlib import Path

# Every base file but the large model stays below this, so that even the
# smallest output (0.01 MB) starts with one whole copy.
BASE_FILE_LIMIT = 10_000
LARGE_MODEL_LIMIT = 5_000_000

ZIP_DATE = (2024, 1, 1, 12, 0, 0)
ISO_DATE = "2024-01-01T12:00:00Z"
TITLE = "Stubforge sample document"


# ---------------------------------------------------------------- zip helpers

def zip_info(name, compress_type):
    info = zipfile.ZipInfo(name, date_time=ZIP_DATE)
    info.compress_type = compress_type
    info.create_system = 3
    info.external_attr = 0o100644 << 16
    return info


def deflated_zip(entries):
    """entries: list of (name, text or bytes); returns the archive bytes."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, content in entries:
            data = content.encode("utf-8") if isinstance(content, str) else content
            archive.writestr(zip_info(name, zipfile.ZIP_DEFLATED), data, compresslevel=9)
    return buffer.getvalue()


# ---------------------------------------------------------------- OOXML

XML_DECL = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
NS_PKG_RELS = "http://schemas.openxmlformats.org/package/2006/relationships"
NS_CT = "http://schemas.openxmlformats.org/package/2006/content-types"
NS_R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
NS_A = "http://schemas.openxmlformats.org/drawingml/2006/main"
NS_P = "http://schemas.openxmlformats.org/presentationml/2006/main"
NS_W = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
NS_S = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = NS_R + "/"
CT_OOXML = "application/vnd.openxmlformats-officedocument."


def xml_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def content_types(overrides):
    parts = [XML_DECL, f'<Types xmlns="{NS_CT}">',
             '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>',
             '<Default Extension="xml" ContentType="application/xml"/>']
    for part, content_type in overrides:
        parts.append(f'<Override PartName="{part}" ContentType="{content_type}"/>')
    parts.append("</Types>")
    return "".join(parts)


def relationships(targets):
    """targets: list of (type suffix or full URI, target); ids are rId1, rId2, ..."""
    parts = [XML_DECL, f'<Relationships xmlns="{NS_PKG_RELS}">']
    for index, (kind, target) in enumerate(targets, start=1):
        uri = kind if kind.startswith("http") else REL + kind
        parts.append(f'<Relationship Id="rId{index}" Type="{uri}" Target="{target}"/>')
    parts.append("</Relationships>")
    return "".join(parts)


def doc_props(title):
    core = (XML_DECL +
            '<cp:coreProperties xmlns:cp="http://schemas.openxmlformats.org/package/2006/metadata/core-properties"'
            ' xmlns:dc="http://purl.org/dc/elements/1.1/" xmlns:dcterms="http://purl.org/dc/terms/"'
            ' xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">'
            f"<dc:title>{title}</dc:title><dc:creator>Stubforge</dc:creator>"
            f'<dcterms:created xsi:type="dcterms:W3CDTF">{ISO_DATE}</dcterms:created>'
            f'<dcterms:modified xsi:type="dcterms:W3CDTF">{ISO_DATE}</dcterms:modified>'
            "</cp:coreProperties>")
    app = (XML_DECL +
           '<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties">'
           "<Application>Stubforge</Application></Properties>")
    return [("docProps/core.xml", core), ("docProps/app.xml", app)]


DOC_PROPS_TYPES = [("/docProps/core.xml", "application/vnd.openxmlformats-package.core-properties+xml"),
                   ("/docProps/app.xml", CT_OOXML + "extended-properties+xml")]


def package_rels(main_part):
    return relationships([("officeDocument", main_part),
                          ("http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties",
                           "docProps/core.xml"),
                          ("extended-properties", "docProps/app.xml")])


TABLE = [("Item", "Quantity", "Price"),
         ("Notebook", "3", "4.50"),
         ("Pencil", "12", "0.80"),
         ("Folder", "5", "2.20")]


def make_docx():
    def paragraph(text, bold=False, size=None, centered=False):
        ppr = '<w:pPr><w:jc w:val="center"/></w:pPr>' if centered else ""
        rpr = ""
        if bold or size:
            rpr = "<w:rPr>" + ("<w:b/>" if bold else "") + (f'<w:sz w:val="{size}"/>' if size else "") + "</w:rPr>"
        return f"<w:p>{ppr}<w:r>{rpr}<w:t>{xml_escape(text)}</w:t></w:r></w:p>"

    border = 'w:val="single" w:sz="4" w:space="0" w:color="auto"'
    borders = "".join(f"<w:{side} {border}/>" for side in ("top", "left", "bottom", "right", "insideH", "insideV"))
    rows = []
    for row_index, row in enumerate(TABLE):
        cells = "".join(f'<w:tc><w:tcPr><w:tcW w:w="2800" w:type="dxa"/></w:tcPr>'
                        f"{paragraph(cell, bold=row_index == 0)}</w:tc>" for cell in row)
        rows.append(f"<w:tr>{cells}</w:tr>")
    table = (f'<w:tbl><w:tblPr><w:tblW w:w="0" w:type="auto"/><w:tblBorders>{borders}</w:tblBorders></w:tblPr>'
             '<w:tblGrid>' + '<w:gridCol w:w="2800"/>' * len(TABLE[0]) + "</w:tblGrid>" + "".join(rows) + "</w:tbl>")
    document = (XML_DECL + f'<w:document xmlns:w="{NS_W}"><w:body>'
                + paragraph(TITLE, bold=True, size=32, centered=True)
                + paragraph("This is a small sample document made by Stubforge for testing software that reads "
                            "Word files. It holds a title, this paragraph and a short table.")
                + table
                + paragraph("End of the sample document.")
                + '<w:sectPr><w:pgSz w:w="11906" w:h="16838"/>'
                  '<w:pgMar w:top="1440" w:right="1440" w:bottom="1440" w:left="1440" w:header="708" w:footer="708" w:gutter="0"/>'
                  "</w:sectPr></w:body></w:document>")
    types = content_types([("/word/document.xml", CT_OOXML + "wordprocessingml.document.main+xml")] + DOC_PROPS_TYPES)
    return deflated_zip([("[Content_Types].xml", types),
                         ("_rels/.rels", package_rels("word/document.xml")),
                         ("word/document.xml", document)] + doc_props(TITLE))


def make_xlsx():
    def column(index):
        return "ABCDEFGH"[index]

    rows = []
    for row_index, row in enumerate(TABLE, start=1):
        cells = []
        for col_index, value in enumerate(row):
            ref = f"{column(col_index)}{row_index}"
            if row_index == 1 or col_index == 0:
                cells.append(f'<c r="{ref}" t="inlineStr"><is><t>{xml_escape(value)}</t></is></c>')
            else:
                cells.append(f'<c r="{ref}"><v>{value}</v></c>')
        rows.append(f'<row r="{row_index}">{"".join(cells)}</row>')
    total_row = len(TABLE) + 1
    total = sum(float(row[1]) * float(row[2]) for row in TABLE[1:])
    rows.append(f'<row r="{total_row}"><c r="A{total_row}" t="inlineStr"><is><t>Total</t></is></c>'
                f'<c r="C{total_row}"><f>SUMPRODUCT(B2:B{total_row - 1},C2:C{total_row - 1})</f><v>{total:g}</v></c></row>')
    sheet = (XML_DECL + f'<worksheet xmlns="{NS_S}">'
             f'<dimension ref="A1:C{total_row}"/>'
             '<cols><col min="1" max="1" width="16" customWidth="1"/></cols>'
             f'<sheetData>{"".join(rows)}</sheetData></worksheet>')
    workbook = (XML_DECL + f'<workbook xmlns="{NS_S}" xmlns:r="{NS_R}">'
                '<sheets><sheet name="Sample" sheetId="1" r:id="rId1"/></sheets></workbook>')
    styles = (XML_DECL + f'<styleSheet xmlns="{NS_S}">'
              '<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>'
              '<fills count="2"><fill><patternFill patternType="none"/></fill>'
              '<fill><patternFill patternType="gray125"/></fill></fills>'
              '<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>'
              '<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>'
              '<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>'
              '<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>'
              "</styleSheet>")
    types = content_types([("/xl/workbook.xml", CT_OOXML + "spreadsheetml.sheet.main+xml"),
                           ("/xl/worksheets/sheet1.xml", CT_OOXML + "spreadsheetml.worksheet+xml"),
                           ("/xl/styles.xml", CT_OOXML + "spreadsheetml.styles+xml")] + DOC_PROPS_TYPES)
    return deflated_zip([("[Content_Types].xml", types),
                         ("_rels/.rels", package_rels("xl/workbook.xml")),
                         ("xl/workbook.xml", workbook),
                         ("xl/_rels/workbook.xml.rels",
                          relationships([("worksheet", "worksheets/sheet1.xml"), ("styles", "styles.xml")])),
                         ("xl/worksheets/sheet1.xml", sheet),
                         ("xl/styles.xml", styles)] + doc_props(TITLE))


def make_pptx():
    namespaces = f'xmlns:a="{NS_A}" xmlns:r="{NS_R}" xmlns:p="{NS_P}"'
    group = ('<p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
             '<p:grpSpPr><a:xfrm><a:off x="0" y="0"/><a:ext cx="0" cy="0"/>'
             '<a:chOff x="0" y="0"/><a:chExt cx="0" cy="0"/></a:xfrm></p:grpSpPr>')

    def text_box(shape_id, name, y, height, text, size, bold):
        weight = ' b="1"' if bold else ""
        return (f'<p:sp><p:nvSpPr><p:cNvPr id="{shape_id}" name="{name}"/><p:cNvSpPr txBox="1"/><p:nvPr/></p:nvSpPr>'
                f'<p:spPr><a:xfrm><a:off x="685800" y="{y}"/><a:ext cx="10820400" cy="{height}"/></a:xfrm>'
                '<a:prstGeom prst="rect"><a:avLst/></a:prstGeom></p:spPr>'
                '<p:txBody><a:bodyPr wrap="square" rtlCol="0"/><a:lstStyle/>'
                f'<a:p><a:pPr algn="ctr"/><a:r><a:rPr lang="en-US" sz="{size}"{weight} dirty="0"/>'
                f"<a:t>{xml_escape(text)}</a:t></a:r></a:p></p:txBody></p:sp>")

    presentation = (XML_DECL + f'<p:presentation {namespaces} saveSubsetFonts="1">'
                    '<p:sldMasterIdLst><p:sldMasterId id="2147483648" r:id="rId1"/></p:sldMasterIdLst>'
                    '<p:sldIdLst><p:sldId id="256" r:id="rId2"/></p:sldIdLst>'
                    '<p:sldSz cx="12192000" cy="6858000"/><p:notesSz cx="6858000" cy="9144000"/>'
                    "</p:presentation>")
    slide = (XML_DECL + f"<p:sld {namespaces}><p:cSld><p:spTree>{group}"
             + text_box(2, "Title", 2286000, 1143000, "Stubforge sample presentation", 4000, True)
             + text_box(3, "Subtitle", 3543300, 685800, "One slide made for testing software that reads PowerPoint files.",
                        2000, False)
             + '</p:spTree></p:cSld><p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>')
    layout = (XML_DECL + f'<p:sldLayout {namespaces} type="blank" preserve="1">'
              f'<p:cSld name="Blank"><p:spTree>{group}</p:spTree></p:cSld>'
              "<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sldLayout>")
    master = (XML_DECL + f"<p:sldMaster {namespaces}>"
              '<p:cSld><p:bg><p:bgRef idx="1001"><a:schemeClr val="bg1"/></p:bgRef></p:bg>'
              f"<p:spTree>{group}</p:spTree></p:cSld>"
              '<p:clrMap bg1="lt1" tx1="dk1" bg2="lt2" tx2="dk2" accent1="accent1" accent2="accent2" '
              'accent3="accent3" accent4="accent4" accent5="accent5" accent6="accent6" hlink="hlink" folHlink="folHlink"/>'
              '<p:sldLayoutIdLst><p:sldLayoutId id="2147483649" r:id="rId1"/></p:sldLayoutIdLst>'
              "<p:txStyles><p:titleStyle/><p:bodyStyle/><p:otherStyle/></p:txStyles></p:sldMaster>")
    colours = [("dk1", "000000"), ("lt1", "FFFFFF"), ("dk2", "1F2A44"), ("lt2", "EEF1F6"),
               ("accent1", "2F6FB0"), ("accent2", "D9822B"), ("accent3", "5A9E4B"), ("accent4", "8C5AA8"),
               ("accent5", "3AA1A8"), ("accent6", "C44E4E"), ("hlink", "2F6FB0"), ("folHlink", "8C5AA8")]
    scheme_colours = "".join(f'<a:{name}><a:srgbClr val="{value}"/></a:{name}>' for name, value in colours)
    fonts = '<a:latin typeface="Arial"/><a:ea typeface=""/><a:cs typeface=""/>'
    fill = '<a:solidFill><a:schemeClr val="phClr"/></a:solidFill>'
    theme = (XML_DECL + f'<a:theme xmlns:a="{NS_A}" name="Stubforge"><a:themeElements>'
             f'<a:clrScheme name="Stubforge">{scheme_colours}</a:clrScheme>'
             f'<a:fontScheme name="Stubforge"><a:majorFont>{fonts}</a:majorFont><a:minorFont>{fonts}</a:minorFont></a:fontScheme>'
             '<a:fmtScheme name="Stubforge">'
             f"<a:fillStyleLst>{fill * 3}</a:fillStyleLst>"
             "<a:lnStyleLst>" + "".join(f'<a:ln w="{width}">{fill}</a:ln>' for width in (9525, 25400, 38100)) + "</a:lnStyleLst>"
             "<a:effectStyleLst>" + "<a:effectStyle><a:effectLst/></a:effectStyle>" * 3 + "</a:effectStyleLst>"
             f"<a:bgFillStyleLst>{fill * 3}</a:bgFillStyleLst>"
             "</a:fmtScheme></a:themeElements><a:objectDefaults/><a:extraClrSchemeLst/></a:theme>")
    pres_props = XML_DECL + f"<p:presentationPr {namespaces}/>"
    view_props = XML_DECL + f"<p:viewPr {namespaces}/>"
    table_styles = XML_DECL + f'<a:tblStyleLst xmlns:a="{NS_A}" def="{{5C22544A-7EE6-4342-B048-85BDC9FD1C3A}}"/>'
    presentationml = CT_OOXML + "presentationml."
    types = content_types([("/ppt/presentation.xml", presentationml + "presentation.main+xml"),
                           ("/ppt/slideMasters/slideMaster1.xml", presentationml + "slideMaster+xml"),
                           ("/ppt/slideLayouts/slideLayout1.xml", presentationml + "slideLayout+xml"),
                           ("/ppt/slides/slide1.xml", presentationml + "slide+xml"),
                           ("/ppt/theme/theme1.xml", CT_OOXML + "theme+xml"),
                           ("/ppt/presProps.xml", presentationml + "presProps+xml"),
                           ("/ppt/viewProps.xml", presentationml + "viewProps+xml"),
                           ("/ppt/tableStyles.xml", presentationml + "tableStyles+xml")] + DOC_PROPS_TYPES)
    return deflated_zip([
        ("[Content_Types].xml", types),
        ("_rels/.rels", package_rels("ppt/presentation.xml")),
        ("ppt/presentation.xml", presentation),
        ("ppt/_rels/presentation.xml.rels",
         relationships([("slideMaster", "slideMasters/slideMaster1.xml"), ("slide", "slides/slide1.xml"),
                        ("theme", "theme/theme1.xml"), ("presProps", "presProps.xml"),
                        ("viewProps", "viewProps.xml"), ("tableStyles", "tableStyles.xml")])),
        ("ppt/slideMasters/slideMaster1.xml", master),
        ("ppt/slideMasters/_rels/slideMaster1.xml.rels",
         relationships([("slideLayout", "../slideLayouts/slideLayout1.xml"), ("theme", "../theme/theme1.xml")])),
        ("ppt/slideLayouts/slideLayout1.xml", layout),
        ("ppt/slideLayouts/_rels/slideLayout1.xml.rels",
         relationships([("slideMaster", "../slideMasters/slideMaster1.xml")])),
        ("ppt/slides/slide1.xml", slide),
        ("ppt/slides/_rels/slide1.xml.rels", relationships([("slideLayout", "../slideLayouts/slideLayout1.xml")])),
        ("ppt/theme/theme1.xml", theme),
        ("ppt/presProps.xml", pres_props),
        ("ppt/viewProps.xml", view_props),
        ("ppt/tableStyles.xml", table_styles),
    ] + doc_props("Stubforge sample presentation"))


# ---------------------------------------------------------------- CSV

def make_csv():
    rows = [("id", "name", "city", "email", "amount"),
            ("1", "Mara Olsen", "Lindfield", "mara.olsen@example.com", "19.90"),
            ("2", "Tomas Reyes", "Harbor Point", "tomas.reyes@example.com", "240.00"),
            ("3", "Ines Walker", "Northgate", "ines.walker@example.com", "7.35"),
            ("4", "Kofi Brandt", "Elm Valley", "kofi.brandt@example.com", "1032.10"),
            ("5", "Yuki Salas", "Riverton", "yuki.salas@example.com", "58.60")]
    # Every copy must end on a whole line, so the base ends with "\n".
    return "".join(",".join(row) + "\n" for row in rows).encode("ascii")


# ---------------------------------------------------------------- pixels

IMAGE_SIZE = 64


def image_pixels(width, height, shift=0):
    """RGB rows: a diagonal colour gradient with a light disc in the middle."""
    rows = []
    centre_x, centre_y, radius = width / 2 + shift, height / 2, width / 4
    for y in range(height):
        row = bytearray()
        for x in range(width):
            red = (x * 255) // (width - 1)
            green = (y * 255) // (height - 1)
            blue = 255 - ((x + y) * 255) // (width + height - 2)
            if (x + 0.5 - centre_x) ** 2 + (y + 0.5 - centre_y) ** 2 <= radius * radius:
                red, green, blue = (255 + red) // 2, (255 + green) // 2, (255 + blue) // 2
            row += bytes((red, green, blue))
        rows.append(bytes(row))
    return rows


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def make_png():
    rows = image_pixels(IMAGE_SIZE, IMAGE_SIZE)
    filtered = bytearray()
    for row in rows:
        # Filter "Sub": the gradient leaves small, repeating differences.
        filtered.append(1)
        filtered += row[:3] + bytes((row[i] - row[i - 3]) & 0xFF for i in range(3, len(row)))
    header = struct.pack(">IIBBBBB", IMAGE_SIZE, IMAGE_SIZE, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header)
            + png_chunk(b"tEXt", b"Title\x00Stubforge sample image")
            + png_chunk(b"IDAT", zlib.compress(bytes(filtered), 9)) + png_chunk(b"IEND", b""))


# ---------------------------------------------------------------- ffmpeg

FFMPEG_QUIET = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"]
FFMPEG_BITEXACT = ["-fflags", "+bitexact", "-flags", "+bitexact", "-map_metadata", "-1", "-threads", "1"]


def run(command, stdin=None):
    return subprocess.run(command, input=stdin, check=True, capture_output=True).stdout


def raw_video_input(width, height, rate):
    return ["-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{width}x{height}", "-r", str(rate), "-i", "pipe:0"]


def make_jpg(work):
    pixels = b"".join(image_pixels(IMAGE_SIZE, IMAGE_SIZE))
    out = work / "image.jpg"
    run(FFMPEG_QUIET + raw_video_input(IMAGE_SIZE, IMAGE_SIZE, 1) + FFMPEG_BITEXACT
        + ["-frames:v", "1", "-vf", "setsar=1", "-c:v", "mjpeg", "-pix_fmt", "yuvj420p", "-q:v", "3", "-f", "image2", str(out)], pixels)
    return out.read_bytes()


def make_mp4(work):
    size, rate, frames = 32, 10, 10
    video = b"".join(b"".join(image_pixels(size, size, shift=frame - frames // 2)) for frame in range(frames))
    out = work / "video.mp4"
    run(FFMPEG_QUIET + raw_video_input(size, size, rate) + FFMPEG_BITEXACT
        + ["-c:v", "libx264", "-preset", "medium", "-crf", "28", "-pix_fmt", "yuv420p", "-g", str(frames),
           # Drop the encoder's SEI message (its settings as text): it is most of the bytes.
           "-bsf:v", "filter_units=remove_types=6",
           "-movflags", "+faststart", str(out)], video)
    return out.read_bytes()


# ---------------------------------------------------------------- audio

def tone(rate, seconds, frequency, amplitude):
    """16-bit mono samples with 10 ms fades, so repeated copies do not click."""
    count = int(rate * seconds)
    fade = rate // 100
    samples = bytearray()
    for n in range(count):
        envelope = min(1.0, n / fade, (count - 1 - n) / fade)
        value = round(amplitude * envelope * math.sin(2 * math.pi * frequency * n / rate))
        samples += struct.pack("<h", value)
    return bytes(samples)


def make_wav():
    buffer = io.BytesIO()
    with wave.open(buffer, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(8000)
        out.writeframes(tone(8000, 0.5, 440.0, 12000))
    return buffer.getvalue()


MP3_BITRATES = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
MP3_RATES = [44100, 48000, 32000]


def mp3_frame_length(data, offset):
    """Length of the MPEG-1 Layer III frame at offset, or 0 when none starts there."""
    if offset + 4 > len(data):
        return 0
    b1, b2 = data[offset + 1], data[offset + 2]
    if data[offset] != 0xFF or (b1 & 0xFE) != 0xFA:  # sync, MPEG-1, Layer III
        return 0
    bitrate_index, rate_index, padding = b2 >> 4, (b2 >> 2) & 3, (b2 >> 1) & 1
    if bitrate_index in (0, 15) or rate_index == 3:
        return 0
    return 144 * MP3_BITRATES[bitrate_index] * 1000 // MP3_RATES[rate_index] + padding


def mp3_frames(data):
    """Offsets and lengths of the frames; the frames must cover data exactly."""
    frames, offset = [], 0
    while offset < len(data):
        length = mp3_frame_length(data, offset)
        if length == 0 or offset + length > len(data):
            raise SystemExit(f"audio.mp3: no whole frame at byte {offset}")
        frames.append((offset, length))
        offset += length
    return frames


def clear_ancillary_data(data):
    """Zero the bytes that no granule uses (the encoder fills them with its name).

    Layer III main data may start in earlier frames (main_data_begin), so the
    payloads after the side information form one stream; whatever part of it
    no frame's granules cover is ancillary data, which decoders skip.
    """
    data = bytearray(data)
    stream_offsets, used = [], set()
    stream_length = 0
    for offset, length in mp3_frames(data):
        mono = (data[offset + 3] >> 6) == 3
        side_start = offset + 4 + (0 if data[offset + 1] & 1 else 2)
        side_length = 17 if mono else 32
        bits = int.from_bytes(data[side_start:side_start + side_length], "big")
        total_bits = side_length * 8
        main_data_begin = bits >> (total_bits - 9)
        # part2_3_length of each granule and channel: 12 bits at the start of each 59-bit block.
        first_block = 9 + (5 + 4 if mono else 3 + 8)
        blocks = 2 if mono else 4
        main_bits = sum((bits >> (total_bits - first_block - 59 * block - 12)) & 0xFFF for block in range(blocks))
        payload_start = side_start + side_length
        main_start = stream_length - main_data_begin
        used.update(range(main_start, main_start + (main_bits + 7) // 8))
        stream_offsets += range(payload_start, offset + length)
        stream_length += offset + length - payload_start
    for position, file_offset in enumerate(stream_offsets):
        if position not in used:
            data[file_offset] = 0
    return bytes(data)


def make_mp3(work):
    pcm = work / "tone.raw"
    pcm.write_bytes(tone(44100, 1.0, 440.0, 12000))
    out = work / "audio.mp3"
    # -t: no Xing/LAME header frame; no tag options, so no ID3 tags.
    run(["lame", "--quiet", "-r", "-s", "44.1", "--bitwidth", "16", "--signed", "--little-endian", "-m", "m",
         "-b", "32", "--cbr", "--resample", "44.1", "-t", "--noreplaygain", str(pcm), str(out)])
    data = out.read_bytes()
    # Belt and braces: cut any tag or header frame that a lame build adds anyway,
    # so that repeated copies stay one plain stream of frames.
    if data.startswith(b"ID3"):
        tag_size = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
        data = data[tag_size:]
    if len(data) >= 128 and data[-128:-125] == b"TAG":
        data = data[:-128]
    # An Xing/Info header frame (which carries the LAME tag) has its marker right
    # after the side information: 17 bytes for mono MPEG-1, 32 for stereo.
    if mp3_frame_length(data, 0):
        side_info = 17 if (data[3] >> 6) == 3 else 32
        if data[4 + side_info:8 + side_info] in (b"Xing", b"Info"):
            data = data[mp3_frame_length(data, 0):]
    data = clear_ancillary_data(data)
    if any(marker in data for marker in (b"ID3", b"TAG", b"Xing", b"Info", b"LAME")):
        raise SystemExit("audio.mp3: a tag or encoder mark is left")
    return data


# ---------------------------------------------------------------- ZIP

def make_zip():
    return deflated_zip([
        ("readme.txt", "Stubforge sample archive.\nIt holds this note and a small list.\n"),
        ("data/colours.txt", "".join(f"{index}: {name}\n" for index, name in
                                     enumerate(["red", "orange", "yellow", "green", "blue", "indigo", "violet"],
                                               start=1))),
    ])


# ---------------------------------------------------------------- RAR 4

RAR_SIGNATURE = b"Rar!\x1a\x07\x00"
RAR_MAIN_HEAD, RAR_FILE_HEAD, RAR_END_HEAD = 0x73, 0x74, 0x7B
RAR_LONG_BLOCK = 0x8000      # block carries data after its header (ADD_SIZE / PACK_SIZE)
RAR_SKIP_IF_UNKNOWN = 0x4000
RAR_HOST_UNIX, RAR_METHOD_STORE, RAR_VERSION_20 = 3, 0x30, 20


def rar_block(head_type, flags, body):
    """A block header: CRC16 (low half of the CRC32 of the rest), type, flags, size, body."""
    rest = struct.pack("<BHH", head_type, flags, 7 + len(body)) + body
    return struct.pack("<H", zlib.crc32(rest) & 0xFFFF) + rest


def dos_date_time(year, month, day, hour, minute, second):
    return ((year - 1980) << 25) | (month << 21) | (day << 16) | (hour << 11) | (minute << 5) | (second // 2)


def make_rar():
    name = b"readme.txt"
    content = b"Stubforge sample archive.\nThis entry is stored without compression.\n"
    main = rar_block(RAR_MAIN_HEAD, 0, struct.pack("<HI", 0, 0))
    file_body = struct.pack("<IIBIIBBHI", len(content), len(content), RAR_HOST_UNIX, zlib.crc32(content),
                            dos_date_time(*ZIP_DATE), RAR_VERSION_20, RAR_METHOD_STORE, len(name),
                            0o100644) + name
    file_head = rar_block(RAR_FILE_HEAD, RAR_LONG_BLOCK, file_body)
    end = rar_block(RAR_END_HEAD, RAR_SKIP_IF_UNKNOWN, b"")
    return RAR_SIGNATURE + main + file_head + content + end


# ---------------------------------------------------------------- USDZ

def number(value):
    text = f"{value:.6g}"
    return "0" if text in ("-0", "0") else text


def sphere_usda(name, slices, stacks, radius):
    """A UV sphere: quads between the rings, triangles at the poles, faces wound outward."""
    points = [(0.0, radius, 0.0)]
    for stack in range(1, stacks):
        polar = math.pi * stack / stacks
        for piece in range(slices):
            azimuth = 2 * math.pi * piece / slices
            points.append((radius * math.sin(polar) * math.cos(azimuth), radius * math.cos(polar),
                           -radius * math.sin(polar) * math.sin(azimuth)))
    points.append((0.0, -radius, 0.0))
    south = len(points) - 1

    def ring(stack, piece):
        return 1 + (stack - 1) * slices + piece % slices

    counts, indices = [], []
    for piece in range(slices):
        counts.append(3)
        indices += [0, ring(1, piece), ring(1, piece + 1)]
    for stack in range(1, stacks - 1):
        for piece in range(slices):
            counts.append(4)
            indices += [ring(stack, piece), ring(stack + 1, piece), ring(stack + 1, piece + 1), ring(stack, piece + 1)]
    for piece in range(slices):
        counts.append(3)
        indices += [ring(stacks - 1, piece), south, ring(stacks - 1, piece + 1)]

    def ints(values):
        return ", ".join(str(value) for value in values)

    point_text = ", ".join(f"({number(x)}, {number(y)}, {number(z)})" for x, y, z in points)
    r = number(radius)
    return (f'#usda 1.0\n(\n    defaultPrim = "{name}"\n    metersPerUnit = 1\n    upAxis = "Y"\n)\n\n'
            f'def Xform "{name}" (\n    kind = "component"\n)\n{{\n'
            f'    def Mesh "Sphere"\n    {{\n'
            f"        float3[] extent = [(-{r}, -{r}, -{r}), ({r}, {r}, {r})]\n"
            f"        int[] faceVertexCounts = [{ints(counts)}]\n"
            f"        int[] faceVertexIndices = [{ints(indices)}]\n"
            f"        point3f[] points = [{point_text}]\n"
            f"        color3f[] primvars:displayColor = [(0.18, 0.44, 0.69)]\n"
            f'        uniform token subdivisionScheme = "none"\n'
            f"    }}\n}}\n")


USDZ_ALIGNMENT = 64
PADDING_FIELD_ID = 0x5346  # an extra field of our own that only carries zeros


def stored_aligned_zip(entries):
    """A zip of stored entries whose data start on 64-byte boundaries, as USDZ requires."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name, data in entries:
            info = zip_info(name, zipfile.ZIP_STORED)
            data_offset = buffer.tell() + 30 + len(name.encode("utf-8"))
            padding = -data_offset % USDZ_ALIGNMENT
            if 0 < padding < 4:  # an extra field needs at least its 4-byte head
                padding += USDZ_ALIGNMENT
            if padding:
                info.extra = struct.pack("<HH", PADDING_FIELD_ID, padding - 4) + bytes(padding - 4)
            archive.writestr(info, data)
    result = buffer.getvalue()
    with zipfile.ZipFile(io.BytesIO(result)) as archive:
        for info in archive.infolist():
            name_length, extra_length = struct.unpack_from("<HH", result, info.header_offset + 26)
            if (info.header_offset + 30 + name_length + extra_length) % USDZ_ALIGNMENT:
                raise SystemExit(f"{info.filename}: data not aligned")
    return result


def make_usdz(slices, stacks):
    usda = sphere_usda("Model", slices, stacks, 0.1)
    return stored_aligned_zip([("model.usda", usda.encode("ascii"))])


# ---------------------------------------------------------------- main

def main():
    repo = Path(__file__).resolve().parent.parent
    out_dir = Path(sys.argv[1]) if len(sys.argv) > 1 else repo / "resources"
    out_dir.mkdir(parents=True, exist_ok=True)
    work = out_dir / ".make-base-files.tmp"
    work.mkdir(exist_ok=True)
    try:
        outputs = {
            "document.docx": make_docx(),
            "document.xlsx": make_xlsx(),
            "document.pptx": make_pptx(),
            "document.csv": make_csv(),
            "audio.wav": make_wav(),
            "audio.mp3": make_mp3(work),
            "video.mp4": make_mp4(work),
            "image.png": make_png(),
            "image.jpg": make_jpg(work),
            "archive.zip": make_zip(),
            "archive.rar": make_rar(),
            "3D_model_small.usdz": make_usdz(16, 8),
            "3D_model_large.usdz": make_usdz(360, 180),
        }
    finally:
        for leftover in work.iterdir():
            leftover.unlink()
        work.rmdir()
    for name, data in outputs.items():
        limit = LARGE_MODEL_LIMIT if name == "3D_model_large.usdz" else BASE_FILE_LIMIT
        if not 0 < len(data) <= limit:
            raise SystemExit(f"{name}: {len(data)} bytes, limit {limit}")
        (out_dir / name).write_bytes(data)
        print(f"{name:22} {len(data):>9} bytes")


if __name__ == "__main__":
    main()
