#include "quantize/octreequantizer.h"

#include <algorithm>

namespace kestrin {

namespace {
// A node at level L looks at bit 7 - L of each channel.
constexpr quint8 kLevelMask[8] = {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01};
constexpr int kMaxCachedDepth = 6;
} // namespace

OctreeQuantizer::OctreeQuantizer(quint32 maxColors, int maxDepth) : maxColors(maxColors), maxDepth(maxDepth)
{
    // Slot 0 stands for "no node". The live tree never holds more than
    // (maxColors + 1) leaves with at most maxDepth interior nodes above each.
    nodes.reserve(std::min<quint64>(1 + (quint64(maxColors) + 2) * (quint64(maxDepth) + 1), 1u << 16));
    nodes.emplace_back();
}

OctreeQuantizer::~OctreeQuantizer() = default; // the pool owns every node

void OctreeQuantizer::enableLeafCache()
{
    if (maxDepth > kMaxCachedDepth || root != 0)
        return;
    for (int value = 0; value < 256; ++value) {
        quint32 bits = 0;
        for (int level = 0; level < maxDepth; ++level) {
            if (value & kLevelMask[level])
                bits |= 1u << (3 * (maxDepth - 1 - level));
        }
        spread[value] = bits;
    }
    leafOfKey.assign(size_t(1) << (3 * maxDepth), 0);
}

quint32 OctreeQuantizer::cacheKey(quint32 pixel) const
{
    return (spread[pixel & 0xff] << 2) | (spread[(pixel >> 8) & 0xff] << 1) | spread[(pixel >> 16) & 0xff];
}

// A new node has zero counts and sums and no children. A node at maxDepth is a
// leaf and counts as one more colour; any other node goes to the front of its
// level's reducible list.
OctreeQuantizer::NodeId OctreeQuantizer::createNode(int level, quint32 keyBase)
{
    NodeId id;
    if (!freeNodes.empty()) {
        id = freeNodes.back();
        freeNodes.pop_back();
        nodes[id] = OctreeNode();
    } else {
        id = NodeId(nodes.size());
        nodes.emplace_back();
    }
    OctreeNode &node = nodes[id];
    node.level = quint8(level);
    node.keyBase = keyBase;
    node.isLeaf = level == maxDepth;
    if (node.isLeaf) {
        ++leafCount;
    } else {
        node.nextReducible = reducibleNodes[level];
        reducibleNodes[level] = id;
    }
    return id;
}

void OctreeQuantizer::freeSubtree(NodeId id)
{
    for (NodeId child : nodes[id].children) {
        if (child)
            freeSubtree(child);
    }
    freeNodes.push_back(id);
}

// Descends from the root on bit 7 - level of each channel (blue gives bit 2 of
// the child slot, green bit 1, red bit 0), creating missing nodes, and returns
// the leaf where the descent stops: at maxDepth or at a folded node above it.
OctreeQuantizer::NodeId OctreeQuantizer::addColor(quint8 blue, quint8 green, quint8 red)
{
    NodeId id = root;
    int level = 0;
    while (!nodes[id].isLeaf) {
        const int shift = 7 - level;
        const quint8 m = kLevelMask[level];
        const int index = (((blue & m) >> shift) << 2) | (((green & m) >> shift) << 1) | ((red & m) >> shift);
        NodeId child = nodes[id].children[index];
        if (!child) {
            const quint32 keyBase
                = leafOfKey.empty() ? 0 : nodes[id].keyBase | (quint32(index) << (3 * (maxDepth - 1 - level)));
            child = createNode(level + 1, keyBase);
            nodes[id].children[index] = child;
        }
        id = child;
        ++level;
    }
    return id;
}

void OctreeQuantizer::addToLeaf(NodeId leaf, quint32 pixel)
{
    OctreeNode &node = nodes[leaf];
    node.pixelCount += 1;
    node.blueSum += pixel & 0xff;
    node.greenSum += (pixel >> 8) & 0xff;
    node.redSum += (pixel >> 16) & 0xff;
}

// Folds the most recently created interior node of the deepest level below
// maxDepth that has one (level 0 without looking) into a leaf holding the
// sums of its children. All its children are leaves: no deeper list holds a node.
void OctreeQuantizer::reduceTree()
{
    int i = maxDepth - 1;
    while (i > 0 && !reducibleNodes[i])
        --i;
    const NodeId id = reducibleNodes[i];
    if (!id) // only reachable with maxColors 0
        return;
    reducibleNodes[i] = nodes[id].nextReducible;
    nodes[id].nextReducible = 0;

    quint64 blue = 0, green = 0, red = 0, pixels = 0;
    quint32 children = 0;
    for (NodeId &child : nodes[id].children) {
        if (!child)
            continue;
        blue += nodes[child].blueSum;
        green += nodes[child].greenSum;
        red += nodes[child].redSum;
        pixels += nodes[child].pixelCount;
        freeSubtree(child);
        child = 0;
        ++children;
    }
    OctreeNode &node = nodes[id];
    node.isLeaf = true;
    node.pixelCount += pixels;
    node.blueSum = blue;
    node.greenSum = green;
    node.redSum = red;
    leafCount = leafCount - children + 1;

    if (!leafOfKey.empty()) {
        const size_t span = size_t(1) << (3 * (maxDepth - node.level));
        std::fill_n(leafOfKey.begin() + node.keyBase, span, id);
    }
}

int OctreeQuantizer::addPixels(const quint32 *pixels, quint32 width, quint32 height)
{
    if (!root)
        root = createNode(0, 0);
    const quint64 count = quint64(width) * height;
    if (!leafOfKey.empty()) {
        addPixelsCached(pixels, count);
        return 1;
    }
    for (quint64 i = 0; i < count; ++i) {
        const quint32 pixel = pixels[i];
        addToLeaf(addColor(pixel & 0xff, (pixel >> 8) & 0xff, (pixel >> 16) & 0xff), pixel);
        while (leafCount > maxColors)
            reduceTree();
    }
    return 1;
}

// Same tree as the plain descent: a pixel whose key already reaches a leaf
// changes no structure, only that leaf's sums; any other pixel takes the plain
// path. Sums are order-independent, so where they are added makes no difference.
void OctreeQuantizer::addPixelsCached(const quint32 *pixels, quint64 count)
{
    quint32 lastRgb = 0xffffffffu; // no colour: the top byte of a masked pixel is 0
    NodeId lastLeaf = 0;
    for (quint64 i = 0; i < count; ++i) {
        const quint32 pixel = pixels[i];
        const quint32 rgb = pixel & 0xffffff;
        if (rgb != lastRgb) {
            const quint32 key = cacheKey(pixel);
            NodeId leaf = leafOfKey[key];
            if (!leaf) {
                leaf = addColor(pixel & 0xff, (pixel >> 8) & 0xff, (pixel >> 16) & 0xff);
                leafOfKey[key] = leaf;
                addToLeaf(leaf, pixel);
                while (leafCount > maxColors)
                    reduceTree();
                lastRgb = 0xffffffffu; // a fold may have moved this colour's leaf
                continue;
            }
            lastRgb = rgb;
            lastLeaf = leaf;
        }
        addToLeaf(lastLeaf, pixel);
    }
}

void OctreeQuantizer::paletteWalk(NodeId id, quint8 *out, quint32 &k) const
{
    const OctreeNode &node = nodes[id];
    if (node.isLeaf) {
        const quint64 n = node.pixelCount;
        quint8 *entry = out + 4 * size_t(k);
        entry[0] = n ? quint8(node.blueSum / n) : 0; // low 8 bits of the truncated average
        entry[1] = n ? quint8(node.greenSum / n) : 0;
        entry[2] = n ? quint8(node.redSum / n) : 0;
        entry[3] = 0;
        ++k;
        return;
    }
    for (NodeId child : node.children) {
        if (child)
            paletteWalk(child, out, k);
    }
}

void OctreeQuantizer::getPalette(quint8 *out) const
{
    quint32 k = 0;
    if (root)
        paletteWalk(root, out, k);
}

} // namespace kestrin
