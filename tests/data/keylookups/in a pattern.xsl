<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:k="urn:k" xmlns:exsl="http://exslt.org/common" exclude-result-prefixes="k exsl">
<xsl:output method="text"/>
<xsl:key name="code" match="Point" use="@code"/>
<xsl:template match="/"><xsl:apply-templates/></xsl:template>
<xsl:template match="Point[generate-id() = generate-id(key('code', @code)[1])]"><xsl:value-of select="@id"/></xsl:template>
<xsl:template match="text()"/>
</xsl:stylesheet>
