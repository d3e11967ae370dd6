import io
import zlib

import pymupdf
import pypdf
import pytest
from PIL import Image

from conftest import PdfBuilder, corpus_dir
from quarvel import Document
from test_corpus import manifest

FONT_KEYS = ["page_index", "page_id", "name", "id", "subtype", "base_font", "encoding", "descriptor_id",
             "descriptor"]
IMAGE_KEYS = ["page_index", "page_id", "name", "resource_path", "xobject_path", "id", "width", "height",
              "bits_per_component", "color_space", "filters", "encoded_length", "decoded"]
PROGRAM = b"not really a font"
GRAY = zlib.compress(b"\x00\x40\x80\xff").hex().encode() + b">"


def resources_pdf() -> bytes:
    """Two pages sharing font 5; page 0 inherits images Im1 (gray) and Fm/Im2 (CMYK), page 1 has none."""
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    b.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /Resources << /Font << /F1 5 0 R >> "
             "/XObject << /Im1 8 0 R /Fm 9 0 R >> >> >>")
    b.add(3, "<< /Type /Page /Parent 2 0 R >>")
    b.add(4, "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 5 0 R /F2 << /Subtype /Type1 "
             "/BaseFont /Helvetica >> >> >> >>")
    b.add(5, "<< /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /WinAnsiEncoding /FontDescriptor 6 0 R >>")
    b.add(6, "<< /Type /FontDescriptor /FontName /Arial /FontFamily (Arial) /FontStretch /Normal /Flags 32 "
             "/ItalicAngle 0 /Ascent 905 /Descent -212.5 /CapHeight 716 /StemV 80 /FontFile2 7 0 R >>")
    b.add_stream(7, f"<< /Filter /FlateDecode /Length1 {len(PROGRAM)} /Length2 1.5 >>", zlib.compress(PROGRAM))
    b.add_stream(8, "<< /Type /XObject /Subtype /Image /Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace "
                    "/DeviceGray /Filter [/ASCIIHexDecode /FlateDecode] >>", GRAY)
    b.add_stream(9, "<< /Type /XObject /Subtype /Form /Resources << /XObject << /Im2 10 0 R >> >> >>", b"")
    b.add_stream(10, "<< /Subtype /Image /Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceCMYK >>",
                 b"\x80\x00\x00\xc8")
    return b.build()


@pytest.fixture(scope="module")
def document() -> Document:
    return Document(resources_pdf())


def test_font_dicts(document):
    fonts = document.page_fonts(0)
    assert [list(font) for font in fonts] == [FONT_KEYS]
    descriptor = {"id": "6 0 R", "font_name": "Arial", "font_family": "(Arial)", "font_stretch": "Normal", "flags": 32,
                  "italic_angle": "0", "ascent": "905", "descent": "-212.5", "cap_height": "716", "stem_v": "80",
                  "embedded_font": {"kind": "FontFile2", "id": "7 0 R", "subtype": None, "filters": ["FlateDecode"],
                                    "encoded_length": len(zlib.compress(PROGRAM)), "length1": len(PROGRAM),
                                    "length2": None, "length3": None}}
    arial = {"page_index": None, "page_id": None, "name": "F1", "id": "5 0 R", "subtype": "TrueType",
             "base_font": "Arial", "encoding": "/WinAnsiEncoding", "descriptor_id": "6 0 R", "descriptor": descriptor}
    assert fonts == [arial] == document.page_fonts(index=0, include_data=False)
    assert list(descriptor) == list(fonts[0]["descriptor"])
    assert list(descriptor["embedded_font"]) == list(fonts[0]["descriptor"]["embedded_font"])
    assert document.page_fonts(0, include_data=True)[0]["descriptor"]["embedded_font"]["data"] == PROGRAM

    # One dict per page that uses a font, with that page's place.
    everything = document.fonts()
    assert [(f["page_index"], f["page_id"], f["name"]) for f in everything] == [(0, "3 0 R", "F1"), (1, "4 0 R", "F1"),
                                                                                (1, "4 0 R", "F2")]
    assert everything[0] == dict(arial, page_index=0, page_id="3 0 R")
    assert everything[2] == {"page_index": 1, "page_id": "4 0 R", "name": "F2", "id": None, "subtype": "Type1",
                             "base_font": "Helvetica", "encoding": None, "descriptor_id": None, "descriptor": None}


def test_image_dicts(document):
    gray = {"page_index": None, "page_id": None, "name": "Im1", "resource_path": "Im1", "xobject_path": ["Im1"],
            "id": "8 0 R", "width": 2, "height": 2, "bits_per_component": 8, "color_space": "/DeviceGray",
            "filters": ["ASCIIHexDecode", "FlateDecode"], "encoded_length": len(GRAY), "decoded": None}
    images = document.page_images(0)
    assert [list(image) for image in images] == [IMAGE_KEYS] * 2
    assert images[1] == gray
    assert images[0] == {"page_index": None, "page_id": None, "name": "Im2", "resource_path": "Fm/Im2",
                         "xobject_path": ["Fm", "Im2"], "id": "10 0 R", "width": 1, "height": 1,
                         "bits_per_component": 8, "color_space": "/DeviceCMYK", "filters": [], "encoded_length": 4,
                         "decoded": None}
    assert document.page_images(1) == []
    assert document.page_images(index=0, include_data=False, include_pnm=False) == images

    decoded = document.images(include_data=True, include_pnm=True)
    assert [list(image) for image in decoded] == [IMAGE_KEYS + ["pnm", "data"]] * 2
    assert [(image["page_index"], image["page_id"]) for image in decoded] == [(0, "3 0 R")] * 2
    cmyk, gray_decoded = decoded
    assert gray_decoded["decoded"] == {"width": 2, "height": 2, "components": 1, "pnm_kind": "P5", "decoded_length": 4}
    assert gray_decoded["pnm"] == b"P5\n2 2\n255\n\x00\x40\x80\xff"
    assert gray_decoded["data"] == b"\x00\x40\x80\xff"
    assert cmyk["decoded"] == {"width": 1, "height": 1, "components": 3, "pnm_kind": "P6", "decoded_length": 3}
    assert cmyk["pnm"] == b"P6\n1 1\n255\n\x00\x37\x37"
    assert list(document.page_images(0, include_pnm=True)[0]) == IMAGE_KEYS + ["pnm"]


@pytest.mark.parametrize("call, error", [
    (lambda d: d.page_fonts(0, include_data=1), TypeError),
    (lambda d: d.page_fonts(0, False, False), TypeError),
    (lambda d: d.page_fonts(), TypeError),
    (lambda d: d.fonts(None), TypeError),
    (lambda d: d.page_images(0, include_pnm="yes"), TypeError),
    (lambda d: d.page_images("0"), TypeError),
    (lambda d: d.images(include_data=False, include_pnm=0), TypeError),
    (lambda d: d.images(False, False, False), TypeError),
    (lambda d: d.page_fonts(-1), OverflowError),
    (lambda d: d.page_images(-1), OverflowError),
    (lambda d: d.page_fonts(2), ValueError),
    (lambda d: d.page_images(2, True, True), ValueError),
])
def test_argument_rules(document, call, error):
    with pytest.raises(error):
        call(document)


def one_page(resources: str, *objects: tuple[int, str, bytes]) -> Document:
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    b.add(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>")
    b.add(3, f"<< /Type /Page /Parent 2 0 R /Resources {resources} >>")
    b.add(4, "<< /Type /Page /Parent 2 0 R >>")
    for number, dictionary, data in objects:
        b.add_stream(number, dictionary, data)
    return Document(b.build())


@pytest.mark.parametrize("resources, objects, kind, message", [
    ("<< /XObject << /Im 5 0 R >> >>", [(5, "<< /Subtype /Image /Filter 7 >>", b"")], "images",
     "type mismatch in stream /Filter: expected name or array"),
    ("<< /Font << /F1 << /FontDescriptor 9 0 R >> >> >>", [], "fonts", "dangling reference to object 9 0"),
    ("<< /Font << /F1 << /FontDescriptor [1] >> >> >>", [], "fonts",
     "type mismatch in font /FontDescriptor: expected dictionary"),
    # Widths are not read, whatever they hold.
    ("<< /Font << /F1 << /Widths 9 0 R >> /F2 << /Widths (none) >> >> >>", [], "fonts", None),
])
def test_listing_errors(resources, objects, kind, message):
    document = one_page(resources, *objects)
    for call in (getattr(document, kind), lambda: getattr(document, "page_" + kind)(0)):
        if message is None:
            assert len(call()) == 2
        else:
            with pytest.raises(ValueError, match=f"^{message}$"):
                call()


def test_undecodable_image_is_still_listed():
    image = "<< /Subtype /Image /Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceRGB >>"
    document = one_page("<< /XObject << /Im 5 0 R >> >>", (5, image, b"x" * 11))
    assert document.images(include_data=True)[0]["data"] == b"x" * 11
    with pytest.raises(ValueError, match=r"^failed to decode /Image stream: decoded RGB image data is shorter than "
                                         r"Width \* Height \* 3$"):
        document.images(include_pnm=True)


def shared_forms_pdf(levels: int) -> bytes:
    """Two pages inheriting image Im and form Top; each form lists the one below twice, `levels` deep,
    down to a skipped leaf."""
    b = PdfBuilder().add(1, "<< /Type /Catalog /Pages 2 0 R >>")
    b.add(2, f"<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /Resources << /XObject << /Im 5 0 R /Top {6 + levels} 0 R "
             ">> >> >>")
    b.add(3, "<< /Type /Page /Parent 2 0 R >>").add(4, "<< /Type /Page /Parent 2 0 R >>")
    b.add_stream(5, "<< /Subtype /Image >>", b"").add_stream(6, "<< /Subtype /PS >>", b"")
    for number in range(7, 7 + levels):
        b.add_stream(number, f"<< /Subtype /Form /Resources << /XObject << /A {number - 1} 0 R /B {number - 1} 0 R >> "
                             ">> >>", b"")
    return b.build()


def test_each_page_has_its_own_listing_budget():
    # 2^16 entries per page: within one page's budget, not within two.
    assert [(image["page_index"], image["name"]) for image in Document(shared_forms_pdf(15)).images()] == \
        [(0, "Im"), (1, "Im")]
    deep = Document(shared_forms_pdf(40))
    for call in (deep.images, lambda: deep.page_images(1)):
        with pytest.raises(ValueError, match="^type mismatch in page /Resources /XObject: expected resource tree of "
                                             "bounded size$"):
            call()


CORPUS = corpus_dir()
CLEAN = [row["file"] for row in manifest() if not row["file"].startswith("broken/") and row["encrypted"] == "no"]
PLAIN_FILTERS = {"FlateDecode", "Fl", "ASCIIHexDecode", "AHx", "ASCII85Decode", "A85", "RunLengthDecode", "RL"}


def plain(image: dict) -> bool:
    return image["bits_per_component"] == 8 and image["color_space"] in ("/DeviceGray", "/DeviceRGB") and \
        set(image["filters"]) <= PLAIN_FILTERS


class Peers:
    """PyMuPDF and pypdf on one file, each opened when first needed."""

    def __init__(self, path: str):
        self.path, self.mupdf, self.pypdf = path, None, None

    def agree(self, number: int, samples: bytes, components: int) -> bool:
        self.mupdf = self.mupdf or pymupdf.open(self.path)
        pixmap = pymupdf.Pixmap(self.mupdf, number)
        if pixmap.n == components and not pixmap.alpha and pixmap.samples == samples:
            return True
        # PyMuPDF applies a soft mask as alpha; pypdf gives the samples alone.
        self.pypdf = self.pypdf or pypdf.PdfReader(self.path)
        return self.pypdf.get_object(number).get_data()[:len(samples)] == samples


@pytest.mark.skipif(not CLEAN, reason="corpus not available")
def test_corpus_pnm_matches_peers():
    pymupdf.TOOLS.mupdf_display_errors(False)
    compared, hidden, problems = 0, [], []
    for name in CLEAN:
        try:
            document = Document.open(str(CORPUS / name))
            pages = sorted({image["page_index"] for image in document.images() if plain(image)})
        except ValueError:
            continue  # the corpus sweep judges loading and listing
        peers, seen = Peers(str(CORPUS / name)), set()
        for page in pages:
            try:
                images = document.page_images(page, include_pnm=True)
            except ValueError as error:
                # One image the page cannot decode hides the others of that page.
                hidden.append(f"{name} page {page}: {error}")
                continue
            for image in images:
                if not plain(image) or image["id"] in seen:
                    continue
                seen.add(image["id"])
                compared += 1
                decoded = image["decoded"]
                samples = image["pnm"][-decoded["decoded_length"]:]
                picture = Image.open(io.BytesIO(image["pnm"]))
                if (picture.mode, picture.size, picture.tobytes()) != \
                        ("RGB" if decoded["components"] == 3 else "L", (image["width"], image["height"]), samples):
                    problems.append(f"{name} {image['id']}: Pillow reads other pixels")
                if not peers.agree(int(image["id"].split()[0]), samples, decoded["components"]):
                    problems.append(f"{name} {image['id']}: no peer decodes these samples")
    print(f"{compared} images compared; pages not decodable as a whole: {hidden}")
    assert compared > 0 and not problems, "\n".join(problems)
