#pragma once

#include <QtGlobal>

#include <vector>

namespace kestrin {

/** Reduces any number of 32-bit ARGB pixels (byte 0 blue, 1 green, 2 red,
 *  3 alpha, which is ignored) to at most `maxColors` representative colours.
 *
 *  Pixels are sorted into an octree keyed on the top `maxDepth` bits of the
 *  three colour channels; every leaf keeps a running sum of its pixels. After
 *  each pixel, while the tree holds more than `maxColors` leaves, the most
 *  recently created interior node of the deepest level that has one is folded
 *  into a single leaf (level 0 is taken without looking at its list). The
 *  palette is the truncated average of every leaf, in depth-first order of
 *  child slots 0..7.
 *
 *  The fold order decides the palette, so the tree evolves exactly the same
 *  way however the pixels are handed over: repeated addPixels() calls build
 *  the same tree as one call over the concatenated pixels, with or without
 *  the leaf cache.
 *
 *  Colour sums and pixel counts are 64-bit, so no leaf can wrap.
 *  Supported limits: maxColors >= 1 and maxDepth 1..8. */
class OctreeQuantizer
{
public:
    OctreeQuantizer(quint32 maxColors, int maxDepth);
    ~OctreeQuantizer();
    OctreeQuantizer(const OctreeQuantizer &) = delete;
    OctreeQuantizer &operator=(const OctreeQuantizer &) = delete;

    /** Remembers, for every top-bits colour key, the leaf that its pixels
     *  currently reach, so that a pixel of a known colour skips the descent.
     *  The tree and the palette are exactly the same as without it. Has an
     *  effect only for maxDepth <= 6 (a 2^(3*maxDepth)-entry table, 1 MiB at
     *  depth 6); call before the first addPixels(). */
    void enableLeafCache();

    /** Adds `height` contiguous rows of `width` pixels each. Always returns 1. */
    int addPixels(const quint32 *pixels, quint32 width, quint32 height);

    /** Writes one 4-byte entry (blue, green, red, 0) per leaf, from entry 0
     *  on, in depth-first order. `out` must have room for colorCount() entries. */
    void getPalette(quint8 *out) const;

    /** Number of leaves, which is the number of palette entries so far. */
    quint32 colorCount() const { return leafCount; }

private:
    using NodeId = quint32; // index into nodes; 0 means "no node"

    struct OctreeNode {
        quint64 pixelCount = 0;
        quint64 blueSum = 0;
        quint64 greenSum = 0;
        quint64 redSum = 0;
        NodeId children[8] = {};
        NodeId nextReducible = 0; // next interior node of the same level, newest first
        quint32 keyBase = 0;      // first leaf-cache key under this node
        quint8 level = 0;
        bool isLeaf = false;
    };

    NodeId createNode(int level, quint32 keyBase);
    void freeSubtree(NodeId id);
    NodeId addColor(quint8 blue, quint8 green, quint8 red);
    void addToLeaf(NodeId leaf, quint32 pixel);
    void reduceTree();
    void addPixelsCached(const quint32 *pixels, quint64 count);
    void paletteWalk(NodeId id, quint8 *out, quint32 &k) const;
    quint32 cacheKey(quint32 pixel) const;

    std::vector<OctreeNode> nodes; // node pool; nodes[0] is unused
    std::vector<NodeId> freeNodes; // recycled pool slots
    NodeId root = 0;
    quint32 leafCount = 0;
    NodeId reducibleNodes[8] = {}; // heads of the per-level lists of interior nodes
    quint32 maxColors;
    int maxDepth;

    // Leaf cache: for each key (the child slots of the path, three bits per
    // level, root first) the leaf its pixels reach now, or 0 while the path
    // ends at a missing child. A fold points its whole key range at the new leaf.
    std::vector<NodeId> leafOfKey;
    quint32 spread[256] = {}; // channel value -> its top bits spread three apart
};

} // namespace kestrin
