// `kestrun-kit inspect FILE...`: the chunk tree, one line per chunk, with
// what the reader decodes of it; for a container also its blocks.
#include "kestrun_version.h"
#include "kit/batch.h"
#include "kit/commands.h"
#include "kit/inputs.h"
#include "stream/stream.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <limits>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <optional>

namespace kestrun::kit {

namespace {

using json = nlohmann::ordered_json;
using namespace stream;

struct InspectOptions {
	std::vector<std::string> files;
	bool json = false;
	int depth = 0; // levels shown; 0 for all
};

// A float as the shortest decimal that reads back as the same float, so
// JSON and text show 0.1 rather than 0.100000001490116.
json number(float v)
{
	char text[32];
	const auto r = std::to_chars(text, text + sizeof text, v);
	return std::stod(std::string(text, r.ptr));
}

template <std::size_t N> json numbers(const std::array<float, N>& values)
{
	json a = json::array();
	for (float v : values)
		a.push_back(number(v));
	return a;
}

std::string hex(std::uint32_t v, int digits)
{
	char text[16];
	std::snprintf(text, sizeof text, "0x%0*X", digits, unsigned(v));
	return text;
}

// What the walk knows about where a chunk stands.
struct Place {
	const Chunk* parent = nullptr;
	const Chunk* grandparent = nullptr;
	std::size_t index_of_type = 0; // among the parent's children of its type
	const std::vector<FrameInfo>* frames = nullptr; // the parent Frame List's
};

json geometry_info(const Chunk& c, bytes stream)
{
	const auto g = decode_geometry(c);
	if (!g)
		return nullptr;
	json info = {{"flags", hex(g->flags, 4)},      {"texture_sets", g->texture_sets},
	             {"native", g->native_flags != 0}, {"triangles", g->triangles},
	             {"vertices", g->vertices},        {"morph_targets", g->morph_targets},
	             {"sphere", numbers(g->sphere)}};
	if (g->native_flags != 0)
		return info;
	json sections = json::array();
	auto add = [&](const char* name, bytes part) {
		if (!part.empty())
			sections.push_back({{"name", name},
			                    {"offset", std::uint64_t(part.data() - stream.data())},
			                    {"size", part.size()}});
	};
	add("colours", g->colours);
	add("texcoords", g->texcoords);
	add("triangles", g->triangle_records);
	add("positions", g->positions);
	add("normals", g->normals);
	info["sections"] = sections;
	return info;
}

json bin_mesh_info(const Chunk& c, const Place& place)
{
	const Chunk* geometry = place.grandparent && place.grandparent->type == format::type_geometry ? place.grandparent : nullptr;
	const auto g = geometry ? decode_geometry(*geometry) : std::nullopt;
	const bool native = g && g->native_flags != 0;
	const auto b = decode_bin_mesh(c, native);
	if (!b)
		return nullptr;
	json meshes = json::array();
	for (const BinMeshMesh& m : b->meshes)
		meshes.push_back({{"indices", m.index_count}, {"material", m.material}});
	const std::uint32_t kind = b->flag & 0xFF;
	return {{"kind", kind == 0 ? "list" : kind == 1 ? "strip" : "unknown"},
	        {"meshes", b->mesh_count},
	        {"indices", b->index_total},
	        {"mesh_list", meshes}};
}

json frame_info(const FrameInfo& f, std::size_t index)
{
	return {{"frame", index},
	        {"name", f.name},
	        {"parent", f.parent},
	        {"position", numbers(f.position)},
	        {"rotation", numbers(f.rotation)}};
}

json texture_json(const TextureInfo& t)
{
	return {{"filter", t.filter}, {"address_u", t.address_u}, {"address_v", t.address_v}, {"name", t.name},
	        {"mask", t.mask}};
}

json clump_info(const Chunk& c, const Place&, bytes)
{
	if (const auto i = decode_clump(c))
		return {{"atomics", i->atomics}, {"lights", i->lights}, {"cameras", i->cameras}};
	return nullptr;
}

json frame_list_info(const Chunk& c, const Place&, bytes)
{
	if (const auto f = decode_frame_list(c))
		return {{"frames", f->size()}};
	return nullptr;
}

// The i-th Extension of a Frame List belongs to frame i.
json extension_info(const Chunk&, const Place& place, bytes)
{
	if (place.frames && place.index_of_type < place.frames->size())
		return frame_info((*place.frames)[place.index_of_type], place.index_of_type);
	return nullptr;
}

json text_info(const Chunk& c, const Place&, bytes)
{
	const auto end = std::find(c.body.begin(), c.body.end(), std::uint8_t(0));
	return {{"text", std::string(c.body.begin(), end)}};
}

json list_count_info(const Chunk& c, const Place&, bytes)
{
	if (const Chunk* s = find_child(c, format::type_struct); s && s->body.size() >= format::list_count_size)
		return {{"count", load_u32(s->body, format::list_count_at)}};
	return nullptr;
}

json material_info(const Chunk& c, const Place&, bytes)
{
	if (const auto m = decode_material(c))
		return {{"colour", m->colour}, {"textures", m->texture_count}};
	return nullptr;
}

json texture_info(const Chunk& c, const Place&, bytes)
{
	if (const auto t = decode_texture(c))
		return texture_json(*t);
	return nullptr;
}

json atomic_info(const Chunk& c, const Place&, bytes)
{
	if (const auto a = decode_atomic(c))
		return {{"frame", a->frame}, {"geometry", a->geometry}, {"flags", a->flags}};
	return nullptr;
}

json texture_native_info(const Chunk& c, const Place&, bytes)
{
	const auto h = decode_texture_native_header(c);
	if (!h)
		return nullptr;
	return {{"platform", h->platform}, {"name", h->name},       {"mask", h->mask},
	        {"format", hex(h->raster_format, 4)}, {"width", h->width}, {"height", h->height},
	        {"depth", h->depth},       {"levels", h->levels},   {"compression", h->compression}};
}

json dictionary_info(const Chunk& c, const Place&, bytes)
{
	if (const auto d = decode_dictionary(c))
		return {{"textures", d->textures}, {"device", d->device}};
	return nullptr;
}

json geometry_chunk_info(const Chunk& c, const Place&, bytes stream)
{
	return geometry_info(c, stream);
}

json bin_mesh_chunk_info(const Chunk& c, const Place& place, bytes)
{
	return bin_mesh_info(c, place);
}

// What the reader decodes of `c`; null when nothing.
json info_of(const Chunk& c, const Place& place, bytes stream)
{
	using Describe = json (*)(const Chunk&, const Place&, bytes);
	static const std::map<std::uint32_t, Describe> describers = {
	    {format::type_clump, clump_info},
	    {format::type_frame_list, frame_list_info},
	    {format::type_extension, extension_info},
	    {format::type_frame_name, text_info},
	    {format::type_string, text_info},
	    {format::type_geometry_list, list_count_info},
	    {format::type_material_list, list_count_info},
	    {format::type_geometry, geometry_chunk_info},
	    {format::type_bin_mesh, bin_mesh_chunk_info},
	    {format::type_material, material_info},
	    {format::type_texture, texture_info},
	    {format::type_atomic, atomic_info},
	    {format::type_texture_native, texture_native_info},
	    {format::type_texture_dictionary, dictionary_info},
	};
	const auto found = describers.find(c.type);
	return found == describers.end() ? json(nullptr) : found->second(c, place, stream);
}

// "key value, key value" for the text tree; the lists of objects (sections,
// meshes) are left to the JSON, the section names come last. Names come from
// the file and need not be UTF-8: bytes that are not become U+FFFD.
std::string summary_text(const json& info)
{
	std::string out;
	for (const auto& [key, value] : info.items()) {
		if (key == "sections" || key == "mesh_list")
			continue;
		if (!out.empty())
			out += ", ";
		if (value.is_boolean())
			out += value.get<bool>() ? key : "not " + key;
		else
			out += key + " " + value.dump(-1, ' ', false, json::error_handler_t::replace);
	}
	if (info.contains("sections")) {
		out += info["sections"].empty() ? ", sections none" : ", sections";
		for (const json& section : info["sections"])
			out += " " + section["name"].get<std::string>();
	}
	return out;
}

std::string version_label(std::uint32_t stamp)
{
	const format::Version v = format::decode_stamp(stamp);
	std::string text = format::version_text(v.version);
	if (v.build)
		text += " build " + hex(*v.build, 4);
	return text;
}

// One chunk as the walk saw it, for both the text and the JSON.
struct Node {
	const Chunk* chunk = nullptr;
	json info;                                // what the reader decodes of it
	std::optional<std::vector<Node>> children; // absent past --depth, or for types without
};

// Visits `chunks` once, each with its place among its siblings; stops at
// --depth.
std::vector<Node> walk(const std::vector<Chunk>& chunks, const Place& around, int level, const InspectOptions& options,
                       bytes stream)
{
	std::vector<Node> nodes;
	std::map<std::uint32_t, std::size_t> seen;
	for (const Chunk& c : chunks) {
		Place place = around;
		place.index_of_type = seen[c.type]++;
		Node node{&c, info_of(c, place, stream), std::nullopt};
		if (format::holds_children(c.type) && (options.depth == 0 || level + 1 < options.depth)) {
			const auto frames = c.type == format::type_frame_list ? decode_frame_list(c) : std::nullopt;
			node.children = walk(c.children, Place{&c, place.parent, 0, frames ? &*frames : nullptr}, level + 1,
			                     options, stream);
		}
		nodes.push_back(std::move(node));
	}
	return nodes;
}

std::vector<Node> walk_file(const LoadedFile& f, const Tree& tree, const InspectOptions& options)
{
	return walk(tree.top, Place{}, 0, options, f.stream);
}

// ---------------------------------------------------------------------------
// Text

std::string chunk_line(const Node& node, int depth)
{
	const Chunk& c = *node.chunk;
	std::string line = std::string(std::size_t(2 * depth), ' ') + format::chunk_type_label(c.type) + "  size " +
	                   std::to_string(c.size) + "  " + version_label(c.stamp);
	if (node.info.is_object())
		line += "  " + summary_text(node.info);
	if (c.cut_off)
		line += "  [cut off: " + std::to_string(c.body.size()) + " bytes of the body are there]";
	if (c.trailing > 0)
		line += "  [" + std::to_string(c.trailing) + " trailing bytes]";
	if (c.console_gap)
		line += "  [16 console bytes after Native Data at " + std::to_string(*c.console_gap) + "]";
	if (c.depth_limited)
		line += "  [too deep: not looked into]";
	return line;
}

void print_chunks(const std::vector<Node>& nodes, int depth)
{
	for (const Node& node : nodes) {
		std::printf("%10llu  %s\n", static_cast<unsigned long long>(node.chunk->offset), chunk_line(node, depth).c_str());
		if (node.children)
			print_chunks(*node.children, depth + 1);
	}
}

void print_blocks(const LoadedFile& f)
{
	std::printf("%s: block container, %llu bytes in %zu block(s), %u bytes inflated\n", f.name.c_str(),
	            static_cast<unsigned long long>(f.file_size), f.blocks.size(), unsigned(f.inflated.length));
	for (std::size_t k = 0; k < f.blocks.size(); k++) {
		const BlockInfo& b = f.blocks[k];
		std::printf("  block %zu at offset %llu: %u bytes stored, %u inflated%s%s\n", k,
		            static_cast<unsigned long long>(b.offset), unsigned(b.stored), unsigned(b.inflated),
		            b.problem == ContainerProblem::none ? "" : ": ",
		            b.problem == ContainerProblem::none ? "" : container_problem_name(b.problem));
	}
	if (f.inflated.problem != ContainerProblem::none)
		std::printf("  damaged: %s\n", container_problem_name(f.inflated.problem));
}

void print_file(const LoadedFile& f, const Tree& tree, const std::vector<Node>& nodes)
{
	if (f.container)
		print_blocks(f);
	else
		std::printf("%s: plain stream, %llu bytes\n", f.name.c_str(), static_cast<unsigned long long>(f.file_size));
	std::printf("    offset  chunk\n");
	print_chunks(nodes, 0);
	if (tree.trailing > 0)
		std::printf("%10llu  %llu trailing bytes, not a chunk\n",
		            static_cast<unsigned long long>(f.stream.size() - tree.trailing),
		            static_cast<unsigned long long>(tree.trailing));
}

// ---------------------------------------------------------------------------
// JSON

json chunk_json(const Node& node)
{
	const Chunk& c = *node.chunk;
	const format::Version v = format::decode_stamp(c.stamp);
	json j = {{"offset", c.offset},
	          {"type", c.type},
	          {"name", format::chunk_type_name(c.type) ? json(format::chunk_type_name(c.type)) : json(nullptr)},
	          {"size", c.size},
	          {"stamp", c.stamp},
	          {"version", format::version_text(v.version)},
	          {"build", v.build ? json(*v.build) : json(nullptr)},
	          {"cut_off", c.cut_off},
	          {"trailing", c.trailing}};
	if (c.console_gap)
		j["console_gap"] = *c.console_gap;
	if (c.depth_limited)
		j["depth_limited"] = true;
	if (!node.info.is_null())
		j["info"] = node.info;
	if (node.children) {
		j["children"] = json::array();
		for (const Node& child : *node.children)
			j["children"].push_back(chunk_json(child));
	}
	return j;
}

json problem_json(ContainerProblem problem)
{
	return problem == ContainerProblem::none ? json(nullptr) : json(container_problem_name(problem));
}

json file_json(const LoadedFile& f, const Tree& tree, const std::vector<Node>& nodes)
{
	json j = {{"file", f.name}, {"size", f.file_size}, {"container", nullptr}};
	if (f.container) {
		json blocks = json::array();
		for (const BlockInfo& b : f.blocks)
			blocks.push_back(
			    {{"offset", b.offset}, {"stored", b.stored}, {"inflated", b.inflated}, {"problem", problem_json(b.problem)}});
		j["container"] = {
		    {"blocks", blocks}, {"inflated", f.inflated.length}, {"problem", problem_json(f.inflated.problem)}};
	}
	j["stream_size"] = f.stream.size();
	j["trailing"] = tree.trailing;
	j["chunks"] = json::array();
	for (const Node& node : nodes)
		j["chunks"].push_back(chunk_json(node));
	return j;
}

int run_inspect(const InspectOptions& options)
{
	Batch batch(options.files.size());
	json files = json::array();
	for (const std::string& name : options.files) {
		LoadedFile f;
		std::string error;
		if (!load_file(name, f, error, true)) {
			batch.error(name, error);
			if (options.json)
				files.push_back({{"file", name}, {"error", error}});
			batch.next();
			continue;
		}
		const Tree tree = parse_tree(f.stream);
		const std::vector<Node> nodes = walk_file(f, tree, options);
		if (options.json)
			files.push_back(file_json(f, tree, nodes));
		else
			print_file(f, tree, nodes);
		batch.next();
	}
	if (options.json)
		std::cout << json{{"program", "kestrun-kit"}, {"version", KESTRUN_VERSION}, {"files", files}}
		                 .dump(1, '\t', false, json::error_handler_t::replace)
		          << std::endl;
	return batch.status();
}

} // namespace

void add_inspect_command(CLI::App& app, int& status)
{
	auto options = std::make_shared<InspectOptions>();
	CLI::App* sub = app.add_subcommand("inspect", "Show the chunk tree of each file, and a container's blocks");
	sub->add_option("FILE", options->files, "model files, texture dictionaries, containers or streams")->required();
	sub->add_flag("--json", options->json, "write one JSON document for the whole run");
	sub->add_option("--depth", options->depth, "show N levels of the tree (0: all)")
		->check(CLI::Range(0, std::numeric_limits<int>::max()));
	sub->footer("Exit status: 0 when every file could be read, 1 when one could not, 2 for a usage error.");
	sub->callback([options, &status] {
		const bool listed = gather_in_place(options->files, Wanted::models_and_dictionaries);
		status = with_unlisted(run_inspect(*options), listed);
	});
}

} // namespace kestrun::kit
