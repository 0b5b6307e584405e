// Keeps the Qt GIF library non-empty until its own sources are listed in CMakeLists.txt.
namespace tarvel_gif_placeholder {
int unused = 0;
}
