<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns:k="urn:k" xmlns:exsl="http://exslt.org/common" exclude-result-prefixes="k exsl">
<xsl:output method="text"/>
<xsl:key name="tag" match="Point" use="Tag"/>
<xsl:template match="/">
  <xsl:for-each select="//Point">
    <xsl:value-of select="concat(count(key('tag', Tag)), key('tag', Tag)[1]/@id,
                                 generate-id(key('tag', Tag)) = generate-id(key('tag', Tag)[1]), count(key('tag', 'A')), ' ')"/>
  </xsl:for-each>
</xsl:template>
</xsl:stylesheet>
