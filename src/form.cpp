#include "form.hpp"

#include <memory>
#include <set>

#include "unicode.hpp"

namespace quarvel {

namespace {

// Real field trees are a few levels deep. The bound keeps a hostile chain from making
// every record carry a name the length of the chain.
constexpr std::size_t kMaxFieldDepth = 1024;

bool is_widget_candidate(const Dictionary& kid) {
    const Object* type = kid.get("Type");
    if (type && type->is_name("Annot")) return true;
    const Object* subtype = kid.get("Subtype");
    return subtype && subtype->is_name("Widget");
}

bool has_field_keys(const Dictionary& kid) {
    for (std::string_view key : {"FT", "T", "Kids", "V", "DV", "Ff"})
        if (kid.contains(key)) return true;
    return false;
}

using SharedName = std::shared_ptr<const std::string>;

// A field node still to be read, or (node null) the end of a node's subtree.
struct Pending {
    const Object* node = nullptr;
    SharedName parent_name;
    FormFieldAttributes attributes;
    std::size_t depth = 0;
    ObjectId leaving;
};

}  // namespace

FormFieldType FormFieldType::from_name(std::string_view name) {
    if (name == "Btn") return {Kind::Button, {}};
    if (name == "Tx") return {Kind::Text, {}};
    if (name == "Ch") return {Kind::Choice, {}};
    if (name == "Sig") return {Kind::Signature, {}};
    return {Kind::Unknown, std::string(name)};
}

std::string form_field_type_text(const FormFieldType& type) {
    switch (type.kind) {
        case FormFieldType::Kind::Button: return "Button";
        case FormFieldType::Kind::Text: return "Text";
        case FormFieldType::Kind::Choice: return "Choice";
        case FormFieldType::Kind::Signature: return "Signature";
        case FormFieldType::Kind::Unknown: break;
    }
    std::string out = "Unknown([";
    for (std::size_t i = 0; i < type.unknown_name.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(static_cast<unsigned char>(type.unknown_name[i]));
    }
    return out + "])";
}

FormFieldAttributes FormFieldAttributes::inherit_from(const Dictionary& dictionary) const {
    FormFieldAttributes out = *this;
    if (const Object* ff = dictionary.get("Ff"); ff && ff->as_integer()) out.flags = *ff->as_integer();
    if (const Object* ft = dictionary.get("FT"); ft && ft->as_name()) out.field_type = *ft->as_name();
    if (const Object* v = dictionary.get("V")) out.value = v;
    if (const Object* dv = dictionary.get("DV")) out.default_value = dv;
    return out;
}

std::vector<FormField> form_fields(const Document& document) {
    const Object* acroform = document.catalog().get("AcroForm");
    if (!acroform) return {};
    const Dictionary& form = document.resolve_to_dictionary(*acroform, "catalog /AcroForm");
    const Object* fields_entry = form.get("Fields");
    if (!fields_entry) return {};
    const Array* fields = document.resolve(*fields_entry).as_array();
    if (!fields) throw PdfError::type_mismatch("AcroForm /Fields", "array");

    std::vector<FormField> out;
    // The ids on the path from the root to the node being read: only a field that is
    // its own ancestor is a cycle. Shared kids are read once per parent, so the number
    // of nodes read is bounded instead, and so is the number of kids examined (a node
    // read many times could otherwise list a long array of widgets each time).
    std::set<ObjectId> path;
    std::size_t visits_left = document.visit_limit();
    std::size_t kids_left = document.visit_limit();
    const auto too_large = [] { return PdfError::type_mismatch("AcroForm /Fields", "field tree of bounded size"); };
    std::vector<Pending> stack;
    for (auto field = fields->rbegin(); field != fields->rend(); ++field) stack.push_back({&*field, {}, {}, 0, {}});
    std::vector<const Object*> children;
    while (!stack.empty()) {
        Pending pending = std::move(stack.back());
        stack.pop_back();
        if (!pending.node) {
            path.erase(pending.leaving);
            continue;
        }
        if (visits_left == 0) throw too_large();
        --visits_left;
        if (pending.depth > kMaxFieldDepth) throw PdfError::type_mismatch("form field", "field tree of bounded depth");

        const ObjectId* id = pending.node->as_reference();
        if (id && !path.insert(*id).second) throw PdfError::form_field_cycle(*id);
        const Dictionary& node = document.resolve_to_dictionary(*pending.node, "form field");
        const FormFieldAttributes attributes = pending.attributes.inherit_from(node);

        std::optional<std::string> name = text_string_entry(node, "T");
        SharedName full_name = pending.parent_name;
        if (name && (!full_name || !name->empty()))
            full_name = std::make_shared<const std::string>(full_name ? *full_name + "." + *name : *name);

        std::vector<ObjectId> widgets;
        children.clear();
        if (const Object* kids_entry = node.get("Kids")) {
            const Array* kids = document.resolve(*kids_entry).as_array();
            if (!kids) throw PdfError::type_mismatch("form field /Kids", "array");
            for (const Object& element : *kids) {
                if (kids_left == 0) throw too_large();
                --kids_left;
                const Dictionary* kid = document.resolve(element).as_dictionary_like();
                if (!kid) throw PdfError::type_mismatch("form field kid", "dictionary");
                if (is_widget_candidate(*kid) && !has_field_keys(*kid)) {
                    const ObjectId* widget = element.as_reference();
                    if (!widget) throw PdfError::type_mismatch("form field widget", "indirect reference");
                    widgets.push_back(*widget);
                } else {
                    children.push_back(&element);
                }
            }
        }

        if (!children.empty()) {
            // The node leaves the path once its subtree is done.
            if (id) stack.push_back({nullptr, {}, {}, 0, *id});
            for (auto child = children.rbegin(); child != children.rend(); ++child)
                stack.push_back({*child, full_name, attributes, pending.depth + 1, {}});
            continue;
        }
        if (id) path.erase(*id);
        const Object* subtype = node.get("Subtype");
        if (id && subtype && subtype->is_name("Widget")) widgets.push_back(*id);
        FormField field;
        field.id = id ? std::optional<ObjectId>(*id) : std::nullopt;
        field.name = std::move(name);
        if (full_name) field.full_name = *full_name;
        field.alternate_name = text_string_entry(node, "TU");
        field.mapping_name = text_string_entry(node, "TM");
        if (attributes.field_type) field.field_type = FormFieldType::from_name(*attributes.field_type);
        field.value = attributes.value;
        field.default_value = attributes.default_value;
        field.flags = attributes.flags;
        field.widgets = std::move(widgets);
        out.push_back(std::move(field));
    }
    return out;
}

}  // namespace quarvel
