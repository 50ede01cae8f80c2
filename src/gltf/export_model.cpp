#include "gltf/document.h"

#include <cmath>

namespace kestrun::gltf {

namespace {

json node_of(const stream::FrameInfo& frame, const std::string& label, Document& doc)
{
	Trs trs;
	if (!decompose_frame(frame.rotation, frame.position, trs))
		doc.warn(label + ": its matrix holds values that are not finite; they are taken as identity");
	json node{{"translation", trs.translation}, {"rotation", trs.rotation}, {"scale", trs.scale}};
	if (!frame.name.empty())
		node["name"] = frame.name;
	return node;
}

// The first chunk below `parent` whose size runs past its parent's body: the
// chunks that followed it there were read as its body, so they are missing.
const stream::Chunk* first_cut_off(const stream::Chunk& parent)
{
	for (const stream::Chunk& child : parent.children) {
		if (child.cut_off)
			return &child;
		if (const stream::Chunk* found = first_cut_off(child))
			return found;
	}
	return nullptr;
}

// The Clump's frames, or none (said) when its frame list cannot be read.
std::vector<stream::FrameInfo> read_frames(Document& doc, const stream::Chunk& clump, const std::string& prefix)
{
	std::vector<stream::FrameInfo> frames;
	if (const stream::Chunk* list = stream::find_child(clump, format::type_frame_list)) {
		if (auto decoded = stream::decode_frame_list(*list))
			frames = std::move(*decoded);
		else
			doc.warn(prefix + "its frame list cannot be read; no frames");
	}
	return frames;
}

// One node per frame, from `first` on in doc.nodes. Each frame's children
// are gathered in `children` (hung by hang_meshes); the frames without a
// parent go below `root_children`.
void add_frame_nodes(Document& doc, const std::vector<stream::FrameInfo>& frames, const std::string& prefix,
                     json& root_children, std::vector<json>& children)
{
	const std::size_t first = doc.nodes.size();
	children.assign(frames.size(), json::array());
	for (std::size_t i = 0; i < frames.size(); i++) {
		const std::string label = prefix + "frame " + std::to_string(i);
		doc.nodes.push_back(node_of(frames[i], label, doc));
		const std::int32_t parent = frames[i].parent;
		// Parents come before their children; anything else could make a
		// cycle, which glTF forbids.
		if (parent >= 0 && std::size_t(parent) < i) {
			children[std::size_t(parent)].push_back(first + i);
		} else {
			if (parent != -1)
				doc.warn(label + ": its parent " + std::to_string(parent) +
				         " is not an earlier frame; hung from the root");
			root_children.push_back(first + i);
		}
	}
}

// The meshes each of `frames` frames carries: one per atomic on it, made
// from the atomic's geometry. A geometry used by several atomics is one mesh
// used several times.
std::vector<std::vector<std::uint32_t>> add_atomic_meshes(Document& doc, const stream::Chunk& clump, std::size_t frames,
                                                          const std::string& prefix, MaterialContext& context)
{
	std::vector<const stream::Chunk*> geometries;
	if (const stream::Chunk* list = stream::find_child(clump, format::type_geometry_list))
		geometries = stream::children_of_type(*list, format::type_geometry);
	std::vector<std::optional<std::optional<std::uint32_t>>> mesh_of(geometries.size());
	std::vector<std::vector<std::uint32_t>> meshes_on(frames);
	const std::vector<const stream::Chunk*> atomics = stream::children_of_type(clump, format::type_atomic);
	if (const std::optional<stream::ClumpInfo> info = stream::decode_clump(clump); info && info->atomics > atomics.size())
		doc.warn(prefix + "its Struct counts " + std::to_string(info->atomics) + " atomics, the stream holds " +
		         std::to_string(atomics.size()) + "; the others are not exported");
	for (std::size_t k = 0; k < atomics.size(); k++) {
		const std::string label = prefix + "atomic " + std::to_string(k);
		const std::optional<stream::AtomicInfo> atomic = stream::decode_atomic(*atomics[k]);
		if (!atomic || atomic->frame >= frames || atomic->geometry >= geometries.size()) {
			doc.warn(label + (atomic ? ": its frame or geometry does not exist; left out" : ": cannot be read; left out"));
			continue;
		}
		std::optional<std::optional<std::uint32_t>>& mesh = mesh_of[atomic->geometry];
		if (!mesh)
			mesh = add_geometry_mesh(doc, *geometries[atomic->geometry],
			                         prefix + "geometry " + std::to_string(atomic->geometry), context);
		if (*mesh)
			meshes_on[atomic->frame].push_back(**mesh);
	}
	return meshes_on;
}

// Puts the meshes on the frame nodes from `first` on, then hangs each
// frame's children below it.
void hang_meshes(Document& doc, std::size_t first, const std::vector<std::vector<std::uint32_t>>& meshes_on,
                 std::vector<json>& children)
{
	for (std::size_t i = 0; i < meshes_on.size(); i++) {
		json& node = doc.nodes[first + i];
		if (meshes_on[i].size() == 1) {
			node["mesh"] = meshes_on[i][0];
		} else {
			// Several atomics on one frame: one child node each.
			for (std::uint32_t mesh : meshes_on[i]) {
				children[i].push_back(doc.nodes.size());
				doc.nodes.push_back(json{{"mesh", mesh}});
			}
		}
		if (!children[i].empty())
			doc.nodes[first + i]["children"] = std::move(children[i]);
	}
}

// The frames, atomics and geometries of one Clump, as nodes hung below
// `root_children` (the frames without a parent) and meshes.
void add_clump(Document& doc, const stream::Chunk& clump, const std::string& prefix, json& root_children,
               MaterialContext& context)
{
	if (const stream::Chunk* cut = first_cut_off(clump))
		doc.warn(prefix + "the " + format::chunk_type_label(cut->type) + " at offset " + std::to_string(cut->offset) +
		         " runs past the chunk that holds it; what followed it there is missing");
	const std::vector<stream::FrameInfo> frames = read_frames(doc, clump, prefix);
	const std::size_t first = doc.nodes.size();
	std::vector<json> children;
	add_frame_nodes(doc, frames, prefix, root_children, children);
	const std::vector<std::vector<std::uint32_t>> meshes_on =
	        add_atomic_meshes(doc, clump, frames.size(), prefix, context);
	hang_meshes(doc, first, meshes_on, children);
}

} // namespace

std::optional<Export> export_model(bytes stream, const std::string& name, TextureLibrary& textures, std::string& error)
{
	const stream::Tree tree = stream::parse_tree(stream);
	std::vector<const stream::Chunk*> clumps;
	for (const stream::Chunk& top : tree.top)
		if (top.type == format::type_clump)
			clumps.push_back(&top);
	if (clumps.empty()) {
		error = "holds no Clump";
		return std::nullopt;
	}
	// A stream that ends inside a Clump (a copy cut short) would export as a
	// model with frames and no meshes, or some meshes and not the rest, which
	// passes for the whole model: like a damaged container, it fails.
	for (const stream::Chunk* clump : clumps)
		if (clump->cut_off) {
			const std::uint64_t end = clump->offset + format::chunk_header_size + clump->size;
			error = "cut off: the stream ends " + std::to_string(end - stream.size()) +
			        " bytes before the end of its Clump; the model is incomplete";
			return std::nullopt;
		}

	Document doc;
	// The root turns the model's z-up into glTF's y-up: -90 degrees about x,
	// so (x, y, z) becomes (x, z, -y).
	const double half = std::sqrt(0.5);
	doc.nodes.push_back(json{{"name", name}, {"rotation", {-half, 0.0, 0.0, half}}});
	json root_children = json::array();
	MaterialContext context{textures, {}};
	for (std::size_t c = 0; c < clumps.size(); c++)
		add_clump(doc, *clumps[c], clumps.size() > 1 ? "clump " + std::to_string(c) + " " : "", root_children,
		          context);
	if (!root_children.empty())
		doc.nodes[0]["children"] = std::move(root_children);

	std::optional<std::vector<std::uint8_t>> glb = write_glb(doc.text(), doc.bin);
	if (!glb) {
		error = "the export would pass the 4 GiB a binary glTF file can hold";
		return std::nullopt;
	}
	Export out;
	out.glb = std::move(*glb);
	out.warnings = std::move(doc.warnings);
	out.nodes = std::uint32_t(doc.nodes.size());
	out.meshes = std::uint32_t(doc.meshes.size());
	out.textures = std::uint32_t(doc.images.size());
	return out;
}

} // namespace kestrun::gltf
