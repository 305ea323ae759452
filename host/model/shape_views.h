// The views a shape hands out of itself (its polygon mesh, light, sphere and
// disk), inside the scene model only.
#pragma once

#include "faults.h"
#include "scene_model.h"

namespace host {

struct Model_shape::Mesh_view final : polygon_mesh_class {
    explicit Mesh_view(Model_shape& s) : shape(s) {}
    vertex_class& get_vertex(int index, void*) override
    {
        check("polygon_mesh.get_vertex");
        if (index < 0 || index >= static_cast<int>(shape.vertices.size()))
            throw host_error("no vertex " + std::to_string(index) + " in " + shape.name);
        return shape.vertices[static_cast<std::size_t>(index)];
    }
    Model_shape& shape;
};

struct Model_shape::Light_view final : light_class {
    explicit Light_view(Model_shape& s) : shape(s) {}
    TAVRIK_RESULT_OVERRIDE(vec3, get_position)
    {
        check("light.get_position");
        return shape.position;
    }
    void set_position(vec3 const& v, void*) override
    {
        check("light.set_position");
        shape.position = v;
    }
    Model_shape& shape;
};

struct Model_shape::Sphere_view final : sphere_class {
    explicit Sphere_view(Model_shape& s) : shape(s) {}
    TAVRIK_RESULT_OVERRIDE(vec3, get_center)
    {
        check("sphere.get_center");
        return shape.center;
    }
    void set_center(vec3 const& v, void*) override
    {
        check("sphere.set_center");
        shape.center = v;
    }
    Model_shape& shape;
};

struct Model_shape::Disk_view final : disk_class {
    explicit Disk_view(Model_shape& s) : shape(s) {}
    TAVRIK_RESULT_OVERRIDE(vec3, get_center)
    {
        check("disk.get_center");
        return shape.center;
    }
    void set_center(vec3 const& v, void*) override
    {
        check("disk.set_center");
        shape.center = v;
    }
    Model_shape& shape;
};

}  // namespace host
