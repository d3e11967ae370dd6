from collections.abc import Sequence
from typing import NotRequired, TypedDict, final

__all__ = ["Document", "write_text_pdf"]

class XrefDict(TypedDict):
    id: str
    number: int
    generation: int
    xref: str

class ObjectDict(TypedDict):
    id: str
    number: int
    generation: int
    kind: str
    xref: str | None
    text: str

class PageDict(TypedDict):
    index: int
    id: str
    parent: str | None
    media_box: list[float] | None
    crop_box: list[float] | None
    rotate: int | None

class MetadataDict(TypedDict):
    format: str
    title: str
    author: str
    subject: str
    keywords: str
    creator: str
    producer: str
    creation_date: str
    modification_date: str
    trapped: str
    encrypted: bool
    xmp: str | None
    custom: dict[str, str]

class OcrRequestDict(TypedDict):
    id: str
    target: str
    page_index: int
    page_number: int
    page_id: str
    object_id: str | None
    resource_path: str | None
    bbox: list[float] | None
    width: int | None
    height: int | None
    reason: str
    suggested_dpi: int

class LlmImageDict(TypedDict):
    name: str
    resource_path: str
    width: int | None
    height: int | None
    bits_per_component: int | None
    color_space: str | None
    filters: list[str]
    encoded_length: int

class LlmBlockDict(TypedDict):
    id: str
    kind: str
    page_index: int
    bbox: list[float] | None
    text: str | None
    html: str | None
    markdown: str | None
    object_id: str | None
    target: str | None
    image: LlmImageDict | None
    ocr_request: OcrRequestDict | None

class LlmPageDict(TypedDict):
    page_index: int
    page_number: int
    page_label: str
    page_id: str
    media_box: list[float] | None
    crop_box: list[float] | None
    rotate: int | None
    text: str
    metadata: MetadataDict
    blocks: list[LlmBlockDict]

class LlmDocumentDict(TypedDict):
    metadata: MetadataDict
    pages: list[LlmPageDict]
    ocr_requests: list[OcrRequestDict]

class OutlineDict(TypedDict):
    id: str
    title: str
    destination: str | None
    action: str | None
    children: list[OutlineDict]

class AnnotationDict(TypedDict):
    id: str | None
    subtype: str | None
    rect: list[float] | None
    contents: str | None

class LinkDict(TypedDict):
    annotation_id: str | None
    rect: list[float] | None
    kind: str | None
    target: str | None

class EmbeddedFontDict(TypedDict):
    kind: str
    id: str | None
    subtype: str | None
    filters: list[str]
    encoded_length: int
    length1: int | None
    length2: int | None
    length3: int | None
    data: NotRequired[bytes]

class FontDescriptorDict(TypedDict):
    id: str | None
    font_name: str | None
    font_family: str | None
    font_stretch: str | None
    flags: int | None
    italic_angle: str | None
    ascent: str | None
    descent: str | None
    cap_height: str | None
    stem_v: str | None
    embedded_font: EmbeddedFontDict | None

class FontDict(TypedDict):
    page_index: int | None
    page_id: str | None
    name: str
    id: str | None
    subtype: str | None
    base_font: str | None
    encoding: str | None
    descriptor_id: str | None
    descriptor: FontDescriptorDict | None

class DecodedImageDict(TypedDict):
    width: int
    height: int
    components: int
    pnm_kind: str
    decoded_length: int

class ImageDict(TypedDict):
    page_index: int | None
    page_id: str | None
    name: str
    resource_path: str
    xobject_path: list[str]
    id: str | None
    width: int | None
    height: int | None
    bits_per_component: int | None
    color_space: str | None
    filters: list[str]
    encoded_length: int
    decoded: DecodedImageDict | None
    pnm: NotRequired[bytes]
    data: NotRequired[bytes]

class EmbeddedFileDict(TypedDict):
    name: str
    file_name: str | None
    description: str | None
    subtype: str | None
    declared_size: int | None
    data: NotRequired[bytes]

class FormFieldDict(TypedDict):
    id: str | None
    name: str | None
    full_name: str | None
    alternate_name: str | None
    mapping_name: str | None
    field_type: str | None
    value: str | None
    default_value: str | None
    flags: int | None
    widgets: list[str]

class PageChunkDict(TypedDict):
    page_index: int
    page_number: int
    page_label: str
    page_id: str
    text: str
    metadata: MetadataDict
    fonts: NotRequired[list[FontDict]]
    images: NotRequired[list[ImageDict]]

class WordDict(TypedDict):
    text: str
    bbox: list[float]
    font: str | None
    size: float
    line: int

@final
class Document:
    def __new__(cls, data: bytes) -> Document: ...
    @staticmethod
    def parse(data: bytes) -> Document: ...
    @staticmethod
    def open(path: str) -> Document: ...
    @staticmethod
    def open_mmap(path: str) -> Document: ...
    def source_bytes(self) -> bytes: ...
    def version(self) -> tuple[int, int]: ...
    def effective_version(self) -> tuple[int, int]: ...
    def page_count(self) -> int: ...
    def object_count(self) -> int: ...
    def xref(self) -> list[XrefDict]: ...
    def objects(self) -> list[ObjectDict]: ...
    def object(self, number: int, generation: int = 0) -> ObjectDict: ...
    def object_text(self, number: int, generation: int = 0) -> str: ...
    def dump_objects(self) -> str: ...
    def text(self) -> str: ...
    def references_text(self) -> str | None: ...
    def to_markdown(self) -> str: ...
    def page_chunks(self, include_fonts: bool = False, include_images: bool = False) -> list[PageChunkDict]: ...
    def llm_document(
        self,
        include_text: bool = True,
        include_images: bool = True,
        include_links: bool = True,
        include_annotations: bool = True,
        ocr: str = "auto",
    ) -> LlmDocumentDict: ...
    def llm_chunks(
        self,
        include_text: bool = True,
        include_images: bool = True,
        include_links: bool = True,
        include_annotations: bool = True,
        ocr: str = "auto",
    ) -> list[LlmPageDict]: ...
    def ocr_requests(self, ocr: str = "auto") -> list[OcrRequestDict]: ...
    def with_metadata(
        self,
        title: str | None = None,
        author: str | None = None,
        subject: str | None = None,
        keywords: str | None = None,
        creator: str | None = None,
        producer: str | None = None,
    ) -> bytes: ...
    def with_text_annotation(self, page_index: int, rect: Sequence[float], contents: str) -> bytes: ...
    def with_uri_link(self, page_index: int, rect: Sequence[float], uri: str) -> bytes: ...
    def page_texts(self) -> list[str]: ...
    def page_text(self, index: int) -> str: ...
    def pages(self) -> list[PageDict]: ...
    def page_labels(self) -> list[str]: ...
    def metadata(self) -> MetadataDict: ...
    def metadata_xml(self) -> str | None: ...
    def outlines(self) -> list[OutlineDict]: ...
    def page_annotations(self, index: int) -> list[AnnotationDict]: ...
    def page_links(self, index: int) -> list[LinkDict]: ...
    def page_fonts(self, index: int, include_data: bool = False) -> list[FontDict]: ...
    def fonts(self, include_data: bool = False) -> list[FontDict]: ...
    def page_images(self, index: int, include_data: bool = False, include_pnm: bool = False) -> list[ImageDict]: ...
    def images(self, include_data: bool = False, include_pnm: bool = False) -> list[ImageDict]: ...
    def named_destinations(self) -> dict[str, str]: ...
    def embedded_files(self, include_data: bool = False) -> list[EmbeddedFileDict]: ...
    def form_fields(self) -> list[FormFieldDict]: ...
    def page_words(self, index: int) -> list[WordDict]: ...
    def page_layout_text(self, index: int) -> str: ...
    def page_layout_texts(self) -> list[str]: ...
    def layout_text(self) -> str: ...

def write_text_pdf(pages: Sequence[str], title: str | None = None, author: str | None = None) -> bytes: ...

# Not in __all__: a process-wide setting, not part of the star-import surface.
def set_decoded_size_limit(limit: int) -> int: ...
